#include "app/aboutwindow.h"

#include <QFont>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include "app/sidewindow.h"
#include "app/windowplacement.h"
#include "outputs/logo.h"
#include "outputs/pngimage.h"

namespace {

struct AboutText {
    const char* text;
    QPoint position;  // top left corner; the shadow stands two pixels down and right
};

const AboutText kTexts[] = {
    {"Entwickelt und gepflegt von der Sentello-Werkstatt", {264, 19}},
    {"https://sentello.example.org", {232, 34}},
    {"Raumüberwachung - Einbruchschutz - Objekt-Zählung - Webcam", {120, 200}},
};
const QColor kShadow(68, 68, 68);
const QColor kText(255, 255, 255);

class AboutWindow : public QWidget {
public:
    explicit AboutWindow(QImage logo)
        // A dialog's type, so that the window manager learns whose window it is.
        : QWidget(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
          m_logo(std::move(logo)) {
        setWindowTitle(QStringLiteral("Über Sentello:"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(600, 240);
        centreOnScreen(*this);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, m_logo);
        QFont font(QStringLiteral("tahoma"), 10);
        font.setStyleStrategy(QFont::NoAntialias);
        painter.setFont(font);
        const auto drawTexts = [&](const QColor& colour, QPoint offset) {
            painter.setPen(colour);
            for (const AboutText& text : kTexts) {
                painter.drawText(QRect(text.position + offset, QSize(600, 30)),
                                 Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                                 QString::fromUtf8(text.text));
            }
        };
        drawTexts(kShadow, {2, 2});
        drawTexts(kText, {0, 0});
    }

private:
    QImage m_logo;
};

}  // namespace

void showAboutWindow(QWidget* mainWindow) {
    QImage logo = decodePng(kLogoPng, kLogoPngSize);
    if (logo.isNull())
        return;
    AboutWindow about(std::move(logo));
    // Owned by the main window, as its dialogs are, without taking its disabled state.
    about.winId();
    if (mainWindow && mainWindow->windowHandle())
        about.windowHandle()->setTransientParent(mainWindow->windowHandle());
    runUntilClosed(about);
}
