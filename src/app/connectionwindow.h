#pragma once

#include <QDialog>

class QLabel;

// Says which camera is being connected while the connection attempts run, and offers
// "Abbrechen" to give up; closing the window or Escape does the same. It comes up only when
// the camera has not answered within half a second, so that a camera that answers at once
// makes no window flash. The caller runs the event loop meanwhile.
class ConnectionWindow : public QDialog {
    Q_OBJECT

public:
    ConnectionWindow(QWidget* owner, const QString& cameraName);

    void showAttempt(int attempt, int attempts);
    bool cancelled() const { return m_cancelled; }
    void reject() override;

private:
    QString m_cameraName;
    QLabel* m_text;
    bool m_cancelled = false;
};
