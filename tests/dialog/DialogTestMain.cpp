#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // ctest sets the offscreen platform; listing the tests at build time runs without it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
