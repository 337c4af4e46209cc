// Test plugin: its "info" export throws a C++ exception through the C boundary.
#include <stdexcept>

#include "zelmo_plugin.h"

ZELMO_PLUGIN_EXPORT const char* info() {
    throw std::runtime_error("a plugin fault while describing itself");
}
