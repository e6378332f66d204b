#pragma once

#include <QString>

#include "app/gadgets.h"

// What the settings and the trigger actions need of the main window's gadgets: the options
// live in the gadgets, and are read at the moment they are used.
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
};
