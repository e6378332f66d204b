#include "app/driverchoicedialog.h"

#include <QDialog>
#include <QListWidget>

#include "app/windowplacement.h"

int chooseCaptureDriver(QWidget* owner, const std::vector<CameraSource>& sources) {
    if (sources.empty())
        return 0;

    QDialog window(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                              Qt::WindowStaysOnTopHint);
    window.setWindowTitle(QStringLiteral("Kameratreiber auswählen:"));
    window.setFixedSize(260, 150);
    // The owner is still hidden, so centre on the screen rather than on it.
    centreOnScreen(window);

    auto* list = new QListWidget(&window);
    list->setGeometry(4, 4, 252, 142);
    for (const CameraSource& source : sources)
        list->addItem(QString::fromStdString(source.name));
    // So that Enter alone chooses the first line.
    list->setCurrentRow(0);

    int chosen = -1;
    // A double click or Enter on a line chooses it.
    QObject::connect(list, &QListWidget::itemActivated, &window, [&](QListWidgetItem* item) {
        chosen = list->row(item) + 1;
        window.accept();
    });
    window.exec();
    return chosen;
}
