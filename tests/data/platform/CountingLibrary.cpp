// A tiny shared library for the loader tests: its counter shows whether two loads of
// the same file share one mapping.
namespace {
int g_count = 0;
}

extern "C" int CountingLibraryNext() {
    return ++g_count;
}
