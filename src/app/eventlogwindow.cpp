#include "app/eventlogwindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <filesystem>

#include "outputs/eventlog.h"
#include "outputs/launching.h"

EventLogWindow::EventLogWindow(std::string logPath, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_logPath(std::move(logPath)),
      m_filter(new QLineEdit),
      m_text(new QPlainTextEdit) {
    setWindowTitle(QStringLiteral("Protokoll"));
    auto* layout = new QVBoxLayout(this);
    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(QStringLiteral("&Filter:"));
    filterLabel->setBuddy(m_filter);
    m_filter->setClearButtonEnabled(true);
    m_filter->setPlaceholderText(QStringLiteral("Nur Zeilen mit diesem Text"));
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_filter);
    layout->addLayout(filterRow);

    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setTabStopDistance(m_text->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 22);
    layout->addWidget(m_text);

    auto* buttons = new QHBoxLayout;
    auto* openFolder = new QPushButton(QStringLiteral("&Ordner öffnen"));
    auto* close = new QPushButton(QStringLiteral("&Schließen"));
    buttons->addWidget(openFolder);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &EventLogWindow::showFiltered);
    connect(openFolder, &QPushButton::clicked, this,
            [this] { openWithDesktop(std::filesystem::path(m_logPath).parent_path().string()); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshDelayMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (isVisible())
            reload();
    });
    resize(720, 420);
}

void EventLogWindow::reload() {
    m_lines.clear();
    for (const std::string& line : recentEvents(m_logPath, kShownLines))
        m_lines.append(QString::fromUtf8(line));
    // Newest first: at the top the new lines come into sight, further down the reader stays
    // where he is.
    QScrollBar* bar = m_text->verticalScrollBar();
    const int position = bar->value();
    showFiltered();
    bar->setValue(position);
}

void EventLogWindow::refreshSoon() {
    if (!m_refresh.isActive())
        m_refresh.start();
}

void EventLogWindow::showFiltered() {
    const QString filter = m_filter->text();
    QStringList shown;
    for (const QString& line : m_lines) {
        if (line.contains(filter, Qt::CaseInsensitive))
            shown.append(line);
    }
    m_text->setPlainText(shown.isEmpty() ? QStringLiteral("Keine Einträge.")
                                         : shown.join(QLatin1Char('\n')));
}
