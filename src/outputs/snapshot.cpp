#include "outputs/snapshot.h"

#include <QFont>
#include <QPainter>

#include "detection/yuvconversion.h"
#include "outputs/jpegfile.h"

namespace {

constexpr int kJpegQuality = 70;
constexpr int kLineStep = 12;
const QColor kShadow(0, 0, 0);
const QColor kText(255, 255, 255);
const QColor kTriggerText(68, 204, 255);

}  // namespace

std::vector<std::string> snapshotCaption(const std::string& versionText, const DateFields& now,
                                         const std::string& lastTriggerText) {
    std::vector<std::string> lines{"Sentello " + versionText,
                                   "Aktuelles Bild: " + formatDateTemplate(kDateTimeTemplate, now)};
    if (!lastTriggerText.empty())
        lines.push_back("Zuletzt ausgelöst: " + lastTriggerText);
    return lines;
}

void drawCaption(QImage& picture, const std::vector<std::string>& lines) {
    QPainter painter(&picture);
    // 8 points on the picture's 96 dots per inch, as on the screen it was made for; plain
    // pixels in the three colours, without smoothing.
    QFont font(QStringLiteral("tahoma"), 8);
    font.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(font);
    const auto drawLine = [&](std::size_t line, int x, int y) {
        const QRect box(x, y + static_cast<int>(line) * kLineStep, picture.width(), kLineStep * 2);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         QString::fromStdString(lines[line]));
    };
    painter.setPen(kShadow);
    for (std::size_t line = 0; line < lines.size(); ++line)
        drawLine(line, 10, 10);
    for (std::size_t line = 0; line < lines.size(); ++line) {
        painter.setPen(line < 2 ? kText : kTriggerText);
        drawLine(line, 8, 8);
    }
}

QImage pictureImage(const FrameView& picture) {
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    if (!image.isNull())
        convertToBgrx(picture, image.bits(), static_cast<int>(image.bytesPerLine()));
    return image;
}

std::string makeSnapshot(const FrameView& view, const std::vector<std::string>& caption) {
    QImage picture = pictureImage(view);
    drawCaption(picture, caption);
    return encodeJpeg(picture, kJpegQuality);
}
