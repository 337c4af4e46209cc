/* Test plugin: needs a function no library provides, so loading it with every symbol
 * bound at once fails. */
#include "zelmo_plugin.h"

extern const char* zelmo_test_symbol_that_nobody_defines(void);

ZELMO_PLUGIN_EXPORT const char* info(void) {
    return zelmo_test_symbol_that_nobody_defines();
}
