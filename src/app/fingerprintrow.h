#pragma once

class QFormLayout;
class QLineEdit;
class QString;

// A server's certificate or host key the user chose to trust: `fingerprint` is made a field
// that shows it and cannot be typed into, with its whole text as its tool tip, and "Vergessen"
// beside it clears it; the two are added to `form` as a row with `label`.
void addFingerprintRow(QFormLayout* form, const QString& label, QLineEdit* fingerprint,
                       const QString& placeholder);
