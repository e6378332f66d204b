#include "app/gadgetaccess.h"

#include "settings/storedtext.h"

void GadgetAccess::setStoredText(Gadget gadget, const std::string& bytes) {
    const QString shown = QString::fromStdString(textFromStoredBytes(bytes));
    setText(gadget, shown);
    m_storedTexts[gadget] = {bytes, shown};
}

std::string GadgetAccess::storedText(Gadget gadget) const {
    const QString shown = text(gadget);
    const auto stored = m_storedTexts.find(gadget);
    if (stored != m_storedTexts.end() && stored->second.shown == shown)
        return stored->second.bytes;
    return shown.toStdString();
}

void GadgetAccess::appendRow(Gadget list, const QString& text) {
    addItem(list, text);
    setState(list, countItems(list) - 1);
    setState(list, -1);
}
