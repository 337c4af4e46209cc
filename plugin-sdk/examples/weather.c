/* Weather: "天气北京" answers with a (canned) forecast for 北京.
 * UTF-8 source; build with -fexec-charset=GBK so the robot receives GBK texts. */
#include <stdio.h>

#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return "天气预报\r\n"                       /* name */
           "1.0\r\n"                            /* version */
           "Zelmo 示例\r\n"                     /* author */
           "查询城市的天气，例如：天气北京\r\n" /* introduction */
           "天气\r\n"                           /* prefix */
           "城市\r\n"                           /* parameter */
           "\r\n"                               /* suffix: none */
           "weather_answer\r\n"                 /* handler */
           "1\r\n"                              /* listed in the function list */
           "假";                                /* no account information wanted */
}

ZELMO_PLUGIN_EXPORT const char* weather_answer(const char* message, const char* kind,
                                               const char* from, const char* sender,
                                               const char* account) {
    /* One buffer per thread: the robot may call this on several threads at once. */
    static _Thread_local char answer[256];
    (void)kind;
    (void)from;
    (void)sender;
    (void)account;
    if (message == NULL || message[0] == '\0') {
        return "请在天气后面加上城市名，例如：天气北京";
    }
    snprintf(answer, sizeof answer, "%.200s今天晴，气温 20℃", message);
    return answer;
}
