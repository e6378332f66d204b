#include "app/mainwindow.h"

#include <QMessageBox>

#include "app/gadgettable.h"
#include "detection/datetemplate.h"
#include "outputs/launching.h"
#include "outputs/picturefolder.h"
#include "outputs/pictureupload.h"

namespace {

const QString kUploadWarning = QStringLiteral(
    "Hiermit wird pro Minute ein aktuelles Bild ins Internet hochladen. Das geschieht per FTP "
    "(File Transfer Protocol), einem unverschlüsselten Datenformat. Fremdzugriffe von Hackern "
    "auf die Bilddaten können somit nicht ausgeschlossen werden. Darum stellen sie sicher, dass "
    "die Bildinformationen nur legale, copyrightfreie und gesittete Motive zeigen.\r\n"
    "Soll das minütliche Hochladen aktiviert bleiben?");

}  // namespace

void MainWindow::onUploadSwitched() {
    if (m_gadgets->state(Gadget::uploadCheck) != 0) {
        QMessageBox question(QMessageBox::NoIcon, QStringLiteral("Information"), kUploadWarning,
                             QMessageBox::Yes | QMessageBox::No, this);
        if (question.exec() == QMessageBox::No)
            m_gadgets->setState(Gadget::uploadCheck, 0);
    }
    holdOff(1);
}

void MainWindow::minuteStep(std::int64_t now) {
    if (now - m_minuteMark <= kMinuteStepMs)
        return;
    m_minuteMark = now;
    if (!m_gadgets->state(Gadget::recordModeCheck))
        return;
    const GadgetTable& g = *m_gadgets;
    const auto text = [&g](Gadget gadget) { return g.storedText(gadget); };
    const PictureUploadOptions options{
        g.state(Gadget::uploadCheck) != 0,
        {text(Gadget::serverField), text(Gadget::userField), text(Gadget::passwordField),
         text(Gadget::pictureNameField)},
        g.state(Gadget::pictureToolCheck) != 0,
        text(Gadget::pictureToolField)};
    uploadPicture(
        options, *m_pictureUploader, m_pictureFolder->picturePath(),
        [this] { return captionedPicture(); },
        [](const std::string& program, const std::string& argument) {
            launchProgram(program, argument, {});
        });
    holdOff(1);
}

void MainWindow::reportUpload(const UploadEnd& end) {
    std::string result = "Letzter Upload: " + formatDateTemplate("%hh:%ii", m_clock.localNow());
    if (end.failure) {
        const UploadFailure& failure = *end.failure;
        m_watchEvents.report({.kind = WatchEvent::Kind::UploadFailed,
                              .step = failure.step,
                              .reason = failure.reason,
                              .detail = failure.detail});
        result += " fehlgeschlagen: " + failure.reason;
    } else {
        m_watchEvents.report({.kind = WatchEvent::Kind::Uploaded, .remoteName = end.remoteName});
        result += " erfolgreich";
    }
    m_gadgets->setText(Gadget::uploadStatusLabel, QString::fromStdString(result));
}
