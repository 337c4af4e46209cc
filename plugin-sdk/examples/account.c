/* Account helper: asks for the account's cookie text (line 10 "真"), which the robot passes
 * only after the user agreed when enabling it. It answers "我的帐号" with the size of what it
 * received, never with the text itself: whatever holds the cookies can act as the account.
 * UTF-8 source; build with -fexec-charset=GBK so the robot receives GBK texts. */
#include <stdio.h>
#include <string.h>

#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return "帐号助手\r\n"
           "1.0\r\n"
           "Zelmo 示例\r\n"
           "告诉你插件拿到了多少帐号信息\r\n"
           "我的帐号\r\n"
           "\r\n"
           "\r\n"
           "account_answer\r\n"
           "2\r\n"
           "真"; /* wants the account information */
}

ZELMO_PLUGIN_EXPORT const char* account_answer(const char* message, const char* kind,
                                               const char* from, const char* sender,
                                               const char* account) {
    static _Thread_local char answer[128];
    (void)message;
    (void)kind;
    (void)from;
    (void)sender;
    snprintf(answer, sizeof answer, "已获得帐号信息，共%zu字节",
             account != NULL ? strlen(account) : (size_t)0);
    return answer;
}
