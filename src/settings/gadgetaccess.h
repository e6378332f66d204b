#pragma once

#include <QString>

#include "app/gadgets.h"

// What the settings need of the main window's gadgets: the options live in the gadgets, and
// the settings move them between the gadgets and the file.
class GadgetAccess {
public:
    virtual ~GadgetAccess() = default;
    virtual int state(Gadget gadget) const = 0;
    virtual void setState(Gadget gadget, int state) = 0;
    virtual QString text(Gadget gadget) const = 0;
    virtual void setText(Gadget gadget, const QString& text) = 0;
    virtual QString itemText(Gadget gadget, int item) const = 0;
    virtual void setItemText(Gadget gadget, int item, const QString& text) = 0;
};
