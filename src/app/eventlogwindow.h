#pragma once

#include <QStringList>
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

    EventLogWindow(std::string logPath, QWidget* parent);

    // Reads the log again.
    void reload();

private:
    void showFiltered();

    std::string m_logPath;
    QStringList m_lines;
    QLineEdit* m_filter;
    QPlainTextEdit* m_text;
};
