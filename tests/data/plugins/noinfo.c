/* Test plugin: a library without the "info" export. */
#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* not_info(void) {
    return "x\r\n1\r\na\r\ni\r\n\r\n\r\n\r\nf\r\n1\r\n";
}
