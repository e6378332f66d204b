#pragma once

#include <QString>

#include <map>
#include <utility>
#include <vector>

#include "app/gadgetaccess.h"

// Gadgets as plain values: what the settings and the trigger actions read and write, without
// a window. A list's state is its selected row, -1 for none.
class FakeGadgets : public GadgetAccess {
public:
    int state(Gadget g) const override { return m_states.contains(g) ? m_states.at(g) : 0; }
    void setState(Gadget g, int state) override { m_states[g] = state; }
    QString text(Gadget g) const override { return m_texts.contains(g) ? m_texts.at(g) : ""; }
    void setText(Gadget g, const QString& text) override { m_texts[g] = text; }
    QString itemText(Gadget g, int item) const override {
        return m_items.contains({g, item}) ? m_items.at({g, item}) : "";
    }
    void setItemText(Gadget g, int item, const QString& text) override {
        m_items[{g, item}] = text;
    }
    void addItem(Gadget g, const QString& text) override {
        m_items[{g, countItems(g)}] = text;
        ++m_counts[g];
    }
    void removeItem(Gadget g, int item) override {
        const int count = countItems(g);
        for (int i = item; i + 1 < count; ++i)
            m_items[{g, i}] = m_items[{g, i + 1}];
        m_items.erase({g, count - 1});
        --m_counts[g];
    }
    int countItems(Gadget g) const override { return m_counts.contains(g) ? m_counts.at(g) : 0; }

private:
    std::map<Gadget, int> m_states;
    std::map<Gadget, QString> m_texts;
    std::map<std::pair<Gadget, int>, QString> m_items;
    std::map<Gadget, int> m_counts;
};
