#pragma once

#include <QColor>
#include <QString>

#include <map>

#include "app/gadgetaccess.h"
#include "app/gadgets.h"

class QWidget;

// The main window's gadgets, created from the layout table and addressed by number. Every
// option is read and written through these operations while the program runs.
class GadgetTable : public GadgetAccess {
public:
    // Creates all gadgets on the window in creation order, with their start values.
    explicit GadgetTable(QWidget* window);

    QWidget* widget(Gadget gadget) const { return m_widgets.at(gadget); }
    template <typename T>
    T* as(Gadget gadget) const {
        return qobject_cast<T*>(widget(gadget));
    }

    // Check box 0 or 1; slider, spin, progress bar: the value; tabs: the selected index;
    // list: the selected row or -1.
    int state(Gadget gadget) const override;
    void setState(Gadget gadget, int state) override;

    // Field, label, spin: the shown text; time picker: "hh:mm"; list: the first column of the
    // selected row.
    QString text(Gadget gadget) const override;
    void setText(Gadget gadget, const QString& text) override;

    // Tabs: the text of tab n; list: the text of row n, columns joined by a line feed.
    QString itemText(Gadget gadget, int item) const override;
    void setItemText(Gadget gadget, int item, const QString& text) override;
    void addItem(Gadget gadget, const QString& text) override;
    void removeItem(Gadget gadget, int item) override;
    int countItems(Gadget gadget) const override;

private:
    std::map<Gadget, QWidget*> m_widgets;
};
