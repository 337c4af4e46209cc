/* Picture: the host calls of SDK version 2. "看图" is answered with the picture that lies
 * beside the library (picture.mzp.so -> picture.jpg); a received picture, when its entry is
 * enabled, with its size once the robot has saved it; "我的编号" with the sender's stable key.
 * UTF-8 source; build with -fexec-charset=GBK so the robot receives GBK texts. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "zelmo_plugin.h"

static const zelmo_host* g_host;
static char g_picture[4096];
static pthread_once_t g_picture_once = PTHREAD_ONCE_INIT;

/* The library's own path with ".mzp.so" replaced by ".jpg". */
static void FindPicture(void) {
    Dl_info self;
    /* Any address inside the library names it. */
    if (dladdr(g_picture, &self) == 0 || self.dli_fname == NULL) {
        return;
    }
    const size_t length = strlen(self.dli_fname);
    const size_t suffix = strlen(".mzp.so");
    if (length <= suffix || length - suffix + sizeof ".jpg" > sizeof g_picture) {
        return;
    }
    memcpy(g_picture, self.dli_fname, length - suffix);
    memcpy(g_picture + length - suffix, ".jpg", sizeof ".jpg");
}

/* A host call the robot's table has (an older robot's table is shorter). */
#define HAS_CALL(host, member) \
    ((host) != NULL && (host)->size >= offsetof(zelmo_host, member) + sizeof((host)->member))

ZELMO_PLUGIN_EXPORT int zelmo_plugin_init(const zelmo_host* host) {
    /* Called again by every rescan that loads the library: the same table each time. */
    pthread_once(&g_picture_once, FindPicture);
    __atomic_store_n(&g_host, host, __ATOMIC_RELEASE);
    return 0;
}

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return "看图\r\n"
           "1.0\r\n"
           "Zelmo 示例\r\n"
           "发一张图片：看图\r\n"
           "看图\r\n"
           "\r\n"
           "\r\n"
           "picture_answer\r\n"
           "1\r\n"
           "假"
           "\r\n-----\r\n"
           "图片大小\r\n"
           "1.0\r\n"
           "Zelmo 示例\r\n"
           "说出收到的图片有多大\r\n"
           "[图片]\r\n"
           "\r\n"
           "\r\n"
           "size_answer\r\n"
           "2\r\n"
           "假"
           "\r\n-----\r\n"
           "我的编号\r\n"
           "1.0\r\n"
           "Zelmo 示例\r\n"
           "说出你在机器人这里的编号\r\n"
           "我的编号\r\n"
           "\r\n"
           "\r\n"
           "key_answer\r\n"
           "2\r\n"
           "假";
}

ZELMO_PLUGIN_EXPORT const char* picture_answer(const char* message, const char* kind,
                                               const char* from, const char* sender,
                                               const char* account) {
    const zelmo_host* host = __atomic_load_n(&g_host, __ATOMIC_ACQUIRE);
    (void)message;
    (void)kind;
    (void)sender;
    (void)account;
    if (!HAS_CALL(host, send_picture) || g_picture[0] == '\0') {
        return "这个机器人不能发图片";
    }
    if (host->send_picture(host, from, g_picture) != 0) {
        return "图片找不到了";
    }
    /* The picture is the answer: no text, and no other reply either. */
    return "[noreply]";
}

ZELMO_PLUGIN_EXPORT const char* size_answer(const char* message, const char* kind, const char* from,
                                            const char* sender, const char* account) {
    static _Thread_local char answer[128];
    char path[4096];
    struct stat status;
    const zelmo_host* host = __atomic_load_n(&g_host, __ATOMIC_ACQUIRE);
    (void)message;
    (void)kind;
    (void)from;
    (void)sender;
    (void)account;
    if (!HAS_CALL(host, message_media)) {
        return NULL;
    }
    const int length = host->message_media(host, path, (int)sizeof path);
    if (length <= 0 || length >= (int)sizeof path || stat(path, &status) != 0) {
        return NULL;
    }
    snprintf(answer, sizeof answer, "收到图片，%lld字节", (long long)status.st_size);
    return answer;
}

ZELMO_PLUGIN_EXPORT const char* key_answer(const char* message, const char* kind, const char* from,
                                           const char* sender, const char* account) {
    static _Thread_local char answer[128];
    char key[64];
    const zelmo_host* host = __atomic_load_n(&g_host, __ATOMIC_ACQUIRE);
    (void)message;
    (void)kind;
    (void)account;
    /* In a group the member who wrote, in a private chat the friend. */
    const char* who = sender != NULL && sender[0] != '\0' ? sender : from;
    if (!HAS_CALL(host, contact_key)) {
        return NULL;
    }
    const int length = host->contact_key(host, who, key, (int)sizeof key);
    if (length <= 0 || length >= (int)sizeof key) {
        return "还没有你的编号";
    }
    snprintf(answer, sizeof answer, "你的编号是%s", key);
    return answer;
}
