/* Hush: a message containing "嘘" gets no reply at all, not even from the knowledge base.
 * The empty prefix makes the robot offer it every message first.
 * UTF-8 source; build with -fexec-charset=GBK so the robot receives GBK texts. */
#include <string.h>

#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return "安静\r\n"
           "1.0\r\n"
           "Zelmo 示例\r\n"
           "对我说嘘，机器人就不回答这条消息\r\n"
           "\r\n" /* no prefix: every message */
           "\r\n"
           "\r\n"
           "quiet_answer\r\n"
           "2\r\n" /* not listed in the function list */
           "假";
}

/* True when `word` starts at a character boundary of the GBK text: a byte of 0x81 or more
 * opens a two-byte character, so its second byte is never taken for the start of a match. */
static int ContainsGbk(const char* text, const char* word) {
    size_t length = strlen(word);
    while (*text != '\0') {
        if (strncmp(text, word, length) == 0) {
            return 1;
        }
        text += ((unsigned char)*text >= 0x81 && text[1] != '\0') ? 2 : 1;
    }
    return 0;
}

ZELMO_PLUGIN_EXPORT const char* quiet_answer(const char* message, const char* kind,
                                             const char* from, const char* sender,
                                             const char* account) {
    (void)kind;
    (void)from;
    (void)sender;
    (void)account;
    if (message != NULL && ContainsGbk(message, "嘘")) {
        return "[noreply]";
    }
    return NULL; /* no answer: the robot asks the next plugin */
}
