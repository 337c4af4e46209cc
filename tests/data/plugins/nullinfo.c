/* Test plugin: "info" answers null (no description). */
#include <stddef.h>

#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return NULL;
}
