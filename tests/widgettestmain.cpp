// Widget tests need a QApplication (and with it the GLib main loop that GStreamer's bus
// watches run in) before the first test.

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>

namespace {

// Tests answer the windows they open at once. A side window or dialog that is still open
// after this long means a test waits for something that never comes: the window is closed,
// so that its loop ends, and the test fails instead of hanging until CTest's time-out.
constexpr int kWindowPatienceSeconds = 15;

class WindowWatchdog : public testing::EmptyTestEventListener {
public:
    WindowWatchdog() {
        m_check.setInterval(1000);
        QObject::connect(&m_check, &QTimer::timeout, [this] { check(); });
    }
    void OnTestStart(const testing::TestInfo&) override {
        m_openSeconds.clear();
        m_check.start();
    }
    void OnTestEnd(const testing::TestInfo&) override { m_check.stop(); }

private:
    void check() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            // The main window may well stay open for a whole test.
            if (!window->isVisible() || window->inherits("MainWindow")) {
                m_openSeconds.erase(window);
                continue;
            }
            if (++m_openSeconds[window] < kWindowPatienceSeconds)
                continue;
            ADD_FAILURE() << "the window \"" << window->windowTitle().toStdString()
                          << "\" was left open; closed by the watchdog";
            m_openSeconds.erase(window);
            if (auto* dialog = qobject_cast<QDialog*>(window))
                dialog->reject();
            else
                window->close();
        }
    }

    QTimer m_check;
    std::map<QWidget*, int> m_openSeconds;
};

}  // namespace

int main(int argc, char* argv[]) {
    // Also when CTest runs the program to list its tests, which it does without the tests'
    // environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new WindowWatchdog);
    return RUN_ALL_TESTS();
}
