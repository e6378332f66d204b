#include "app/connectionwindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/windowplacement.h"

namespace {

constexpr int kShowDelayMs = 500;
constexpr int kWidth = 360;
constexpr int kHeight = 100;
constexpr int kTextWidth = kWidth - 20;

}  // namespace

ConnectionWindow::ConnectionWindow(QWidget* owner, const QString& cameraName)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::WindowStaysOnTopHint),
      m_cameraName(cameraName) {
    setWindowTitle(QStringLiteral("Kamera wird verbunden: ") + cameraName);
    setFixedSize(kWidth, kHeight);
    // The owner is still hidden, so centre on the screen rather than on it.
    centreOnScreen(*this);

    m_text = new QLabel(this);
    m_text->setGeometry(10, 8, kTextWidth, 50);
    m_text->setWordWrap(true);
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    cancel->setGeometry((kWidth - 90) / 2, 64, 90, 26);
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &ConnectionWindow::reject);
    QTimer::singleShot(kShowDelayMs, this, &QWidget::show);
}

void ConnectionWindow::showAttempt(int attempt, int attempts) {
    // A long description or path is shortened in its middle, where it says least.
    const QString name =
        m_text->fontMetrics().elidedText(m_cameraName, Qt::ElideMiddle, kTextWidth - 40);
    m_text->setText(QStringLiteral("Verbindung mit der Kamera „%1“ wird hergestellt …\n"
                                   "Versuch %2 von %3")
                        .arg(name)
                        .arg(attempt)
                        .arg(attempts));
}

void ConnectionWindow::reject() {
    m_cancelled = true;
    QDialog::reject();
}
