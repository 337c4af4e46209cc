#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Qt needs a display; tests run on the offscreen platform wherever they run.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
