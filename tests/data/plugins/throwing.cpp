// Test plugin: its message handler throws a C++ exception through the C boundary.
#include <stdexcept>

#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* info() {
    return "抛出\r\n1.0\r\ntests\r\nthrows\r\n\r\n\r\n\r\nthrowing_answer\r\n1\r\n";
}

ZELMO_PLUGIN_EXPORT const char* throwing_answer(const char*, const char*, const char*, const char*,
                                                const char*) {
    throw std::runtime_error("a plugin fault");
}
