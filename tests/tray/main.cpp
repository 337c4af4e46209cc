#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "TrayHost.h"

// On a real display Qt asks D-Bus for a tray service; libdbus keeps one buffer to the end.
// The leak checker of a sanitizer build reads this.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

// The tray tests need a real X display with a tray host: this process makes its own.
// Listing the tests needs none.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    zelmo::test::TrayHost& host = zelmo::test::TrayHost::Instance();
    if (!listing && host.StartDisplay()) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
