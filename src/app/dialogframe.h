#pragma once

class QDialog;
class QDialogButtonBox;
class QString;

// Modal, with a close box and a title bar only.
void prepareModalDialog(QDialog& dialog, const QString& title);

// "OK" and "Abbrechen", accepting and rejecting the dialog.
QDialogButtonBox* okAndCancelButtons(QDialog& dialog);
