#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>

#include "app/gadgettable.h"

namespace {

const QString kLineBreakInName = QStringLiteral(
    "Der Name dieser Datei enthält einen Zeilenumbruch und kann darum nicht übernommen werden. "
    "Bitte die Datei umbenennen oder eine andere wählen.");

}  // namespace

void MainWindow::connectFileRequesters() {
    GadgetTable& g = *m_gadgets;
    // Programs on Linux have no extension, so the program requesters list every file.
    const QString programs = QStringLiteral("Programmdateien (*)");
    connect(g.as<QAbstractButton>(Gadget::pictureToolButton), &QAbstractButton::clicked, this,
            [=, this] {
                askForFile(Gadget::pictureToolField, QStringLiteral("Bild-Tool auswählen:"),
                           programs);
            });
    connect(
        g.as<QAbstractButton>(Gadget::videoToolButton), &QAbstractButton::clicked, this, [=, this] {
            askForFile(Gadget::videoToolField, QStringLiteral("Video-Tool auswählen:"), programs);
        });
    connect(
        g.as<QAbstractButton>(Gadget::soundFileButton), &QAbstractButton::clicked, this, [this] {
            askForFile(
                Gadget::soundFileField, QStringLiteral("Media-Datei auswählen:"),
                QStringLiteral("Media (*.wav *.mp3 *.ogg *.flac *.mod *.xm *.divx *.mpg *.avi)"));
        });
}

void MainWindow::askForFile(Gadget field, const QString& title, const QString& filter) {
    const QString chosen = QFileDialog::getOpenFileName(this, title, QString(), filter, nullptr,
                                                        QFileDialog::DontUseNativeDialog);
    if (chosen.contains(u'\r') || chosen.contains(u'\n')) {
        // It could not be kept: the settings hold one line a value.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Information"), kLineBreakInName,
                        QMessageBox::Ok, this);
        box.exec();
    } else if (!chosen.isEmpty()) {
        // The name chosen, in place of any stored bytes that showed as the same text.
        m_gadgets->setStoredText(field, chosen.toStdString());
    }
    holdOff(1);
}
