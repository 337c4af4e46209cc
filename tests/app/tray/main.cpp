#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "TrayHost.h"

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
