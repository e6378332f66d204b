#include "capture/driverchoicedialog.h"

#include <QDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>

int chooseCaptureDriver(QWidget* owner, const std::vector<CameraSource>& sources) {
    if (sources.empty())
        return 0;

    QDialog window(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                              Qt::WindowStaysOnTopHint);
    window.setWindowTitle(QStringLiteral("Kameratreiber auswählen:"));
    window.setFixedSize(260, 150);
    // The owner is still hidden, so centre on the screen rather than on it.
    window.move(QGuiApplication::primaryScreen()->availableGeometry().center() -
                window.rect().center());

    auto* list = new QListWidget(&window);
    list->setGeometry(4, 4, 252, 142);
    for (const CameraSource& source : sources)
        list->addItem(QString::fromStdString(source.name));

    int chosen = -1;
    QObject::connect(list, &QListWidget::itemDoubleClicked, &window, [&](QListWidgetItem* item) {
        chosen = list->row(item) + 1;
        window.accept();
    });
    window.exec();
    return chosen;
}
