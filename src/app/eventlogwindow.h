#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <string>

class QLineEdit;
class QPlainTextEdit;

// The event log to read: its newest 1,000 lines, newest first, narrowed by a filter, and a
// button that opens the log's folder. A window of its own: the watch goes on while it is open.
class EventLogWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShownLines = 1000;
    // A burst of lines (a storage limit deleting many clips) is read once.
    static constexpr int kRefreshDelayMs = 200;

    EventLogWindow(std::string logPath, QWidget* parent);

    // Reads the log again.
    void reload();
    // The log has a new line: read again while the window is shown, once for a burst of lines.
    void refreshSoon();

private:
    void showFiltered();

    std::string m_logPath;
    QStringList m_lines;
    QLineEdit* m_filter;
    QPlainTextEdit* m_text;
    QTimer m_refresh;
};
