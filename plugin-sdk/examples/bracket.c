/* Parrot: "[你好]" anywhere in a message answers "你说了：你好".
 * UTF-8 source; build with -fexec-charset=GBK so the robot receives GBK texts. */
#include <stdio.h>

#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return "复读机\r\n"
           "1.0\r\n"
           "Zelmo 示例\r\n"
           "把方括号里的话说回去，例如：[你好]\r\n"
           "[\r\n"    /* prefix */
           "内容\r\n" /* parameter */
           "]\r\n"    /* suffix: the robot passes the text between the brackets */
           "parrot_answer\r\n"
           "1\r\n"
           "假";
}

ZELMO_PLUGIN_EXPORT const char* parrot_answer(const char* message, const char* kind,
                                              const char* from, const char* sender,
                                              const char* account) {
    static _Thread_local char answer[256];
    (void)kind;
    (void)from;
    (void)sender;
    (void)account;
    if (message == NULL || message[0] == '\0') {
        return NULL; /* the robot never sends an empty bracket, but stay safe */
    }
    snprintf(answer, sizeof answer, "你说了：%.200s", message);
    return answer;
}
