// Widget tests need a QApplication (and with it the GLib main loop that GStreamer's bus
// watches run in) before the first test.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    // Also when CTest runs the program to list its tests, which it does without the tests'
    // environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
