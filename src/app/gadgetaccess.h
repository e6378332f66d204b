#pragma once

#include <QString>

#include <map>
#include <string>

#include "app/gadgets.h"

// What the settings need of the main window's gadgets: the options live in the gadgets, and are
// read at the moment they are used.
class GadgetAccess {
public:
    virtual ~GadgetAccess() = default;
    virtual int state(Gadget gadget) const = 0;
    virtual void setState(Gadget gadget, int state) = 0;
    virtual QString text(Gadget gadget) const = 0;
    virtual void setText(Gadget gadget, const QString& text) = 0;
    virtual QString itemText(Gadget gadget, int item) const = 0;
    virtual void setItemText(Gadget gadget, int item, const QString& text) = 0;
    // List rows: the columns separated by a line feed.
    virtual void addItem(Gadget gadget, const QString& text) = 0;
    virtual void removeItem(Gadget gadget, int item) = 0;
    virtual int countItems(Gadget gadget) const = 0;

    // A row at the end of a list, scrolled into view by selecting it and clearing the
    // selection again.
    void appendRow(Gadget list, const QString& text);

    // A text as bytes from the settings file: the gadget shows them decoded, and storedText
    // gives the same bytes back for as long as it shows exactly that text. File names on Linux
    // are bytes, and servers take the bytes they were given: a value nobody changed has to
    // leave the program as it came in, even when it is no UTF-8. Any other text is given as
    // UTF-8.
    void setStoredText(Gadget gadget, const std::string& bytes);
    std::string storedText(Gadget gadget) const;

private:
    struct StoredText {
        std::string bytes;
        QString shown;
    };
    std::map<Gadget, StoredText> m_storedTexts;
};
