/* Test plugin: two valid entries around every kind of invalid one. UTF-8 source built as
 * GBK. */
#include "zelmo_plugin.h"

#define SEP "\r\n-----\r\n"

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return "甲\r\n1.0\r\n作者\r\n第一个\r\n甲\r\n\r\n\r\nfirst\r\n1\r\n真" SEP
           /* eleven lines */
           "多行\r\n1.0\r\n作者\r\n介绍\r\n\r\n\r\n\r\nf\r\n1\r\n假\r\n多余" SEP
           /* empty name */
           "\r\n1.0\r\n作者\r\n介绍\r\n\r\n\r\n\r\nf\r\n1\r\n假" SEP
           /* empty function */
           "无函数\r\n1.0\r\n作者\r\n介绍\r\n\r\n\r\n\r\n\r\n1\r\n假" SEP
           /* line 9 "0" and "3" */
           "零\r\n1.0\r\n作者\r\n介绍\r\n\r\n\r\n\r\nf\r\n0\r\n假" SEP
           "三\r\n1.0\r\n作者\r\n介绍\r\n\r\n\r\n\r\nf\r\n3\r\n假" SEP
           /* line 10 "1" is not "真": no account */
           "乙\r\n2.0\r\n另一位\r\n第二个\r\n乙\r\n参数\r\n尾\r\nsecond\r\n2\r\n1";
}
