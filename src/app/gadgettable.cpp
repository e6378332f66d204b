#include "app/gadgettable.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTime>
#include <QTimeEdit>
#include <QTreeWidget>

#include <algorithm>

#include "app/backgroundcolour.h"
#include "app/gadgetlayout.h"

namespace {

// Tabs of equal width filling the bar: the style's wide tab padding would hide the last of
// the four slot times behind scroll arrows.
class EvenTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int) const override { return {width() / std::max(count(), 1), height()}; }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};

// Windows' narrow spacing in check boxes and tabs: with the style's wider one the longer
// texts no longer fit their fixed widths.
class CompactStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_CheckBoxLabelSpacing)
            return 3;
        if (metric == PM_TabBarTabHSpace)
            return 8;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QStringList parts(const char* text) {
    return QString::fromUtf8(text).split(u'|');
}

QTreeWidget* makeList(QWidget* parent, const char* columns) {
    auto* list = new QTreeWidget(parent);
    QStringList titles;
    for (const QString& column : parts(columns))
        titles << column.section(u':', 0, 0);
    list->setHeaderLabels(titles);
    int index = 0;
    for (const QString& column : parts(columns)) {
        list->setColumnWidth(index++, column.section(u':', 1, 1).toInt());
    }
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    // The selection stays visible while the list has no focus.
    QPalette palette = list->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list->setPalette(palette);
    return list;
}

QWidget* makeGadget(const GadgetLayout& layout, QWidget* parent, QStyle* compactStyle) {
    const QString text = QString::fromUtf8(layout.text);
    switch (layout.kind) {
        case GadgetKind::CheckBox: {
            auto* box = new QCheckBox(text, parent);
            box->setStyle(compactStyle);
            return box;
        }
        case GadgetKind::Button:
            return new QPushButton(text, parent);
        case GadgetKind::Text:
        case GadgetKind::FramedText: {
            auto* label = new QLabel(text, parent);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            if (layout.kind == GadgetKind::FramedText) {
                label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            }
            return label;
        }
        case GadgetKind::StringField:
        case GadgetKind::PasswordField:
        case GadgetKind::RightAlignedField: {
            auto* field = new QLineEdit(text, parent);
            if (layout.kind == GadgetKind::PasswordField)
                field->setEchoMode(QLineEdit::Password);
            if (layout.kind == GadgetKind::RightAlignedField)
                field->setAlignment(Qt::AlignRight);
            return field;
        }
        case GadgetKind::Spin: {
            auto* spin = new QSpinBox(parent);
            spin->setRange(layout.minimum, layout.maximum);
            spin->setValue(layout.start);
            spin->setAlignment(Qt::AlignRight);
            // Only the arrows and the arrow keys change the number.
            spin->findChild<QLineEdit*>()->setReadOnly(true);
            return spin;
        }
        case GadgetKind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, parent);
            slider->setRange(layout.minimum, layout.maximum);
            slider->setValue(layout.start);
            return slider;
        }
        case GadgetKind::TimePicker: {
            auto* picker = new QTimeEdit(QTime::currentTime(), parent);
            picker->setDisplayFormat(QStringLiteral("HH:mm"));
            return picker;
        }
        case GadgetKind::TabPanel: {
            auto* panel = new QTabWidget(parent);
            for (const QString& tab : parts(layout.text))
                panel->addTab(new QWidget, tab);
            return panel;
        }
        case GadgetKind::TabStrip: {
            auto* strip = new EvenTabBar(parent);
            strip->setStyle(compactStyle);
            strip->setDrawBase(false);
            for (const QString& tab : parts(layout.text))
                strip->addTab(tab);
            return strip;
        }
        case GadgetKind::ScrollArea: {
            auto* area = new QScrollArea(parent);
            area->setFrameShape(QFrame::NoFrame);
            area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            area->horizontalScrollBar()->setSingleStep(1);
            area->verticalScrollBar()->setSingleStep(1);
            return area;
        }
        case GadgetKind::Container: {
            auto* container = new QFrame(parent);
            setBackgroundColour(container, QColor(0, 136, 255));
            return container;
        }
        case GadgetKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(layout.minimum, layout.maximum);
            bar->setValue(layout.start);
            bar->setTextVisible(false);
            return bar;
        }
        case GadgetKind::List:
            return makeList(parent, layout.text);
    }
    return nullptr;
}

}  // namespace

GadgetTable::GadgetTable(QWidget* window) {
    auto* compactStyle = new CompactStyle;
    compactStyle->setParent(window);
    QScrollArea* scrollArea = nullptr;
    QTabWidget* panel = nullptr;
    for (const GadgetLayout& layout : mainWindowLayout()) {
        QWidget* parent = window;
        switch (layout.parent) {
            case GadgetParent::Window:
                break;
            case GadgetParent::SettingsScroll:
                parent = nullptr;  // handed to the scroll area below
                break;
            default:
                parent = panel->widget(static_cast<int>(layout.parent) -
                                       static_cast<int>(GadgetParent::GeneralPage));
        }
        QWidget* gadget = makeGadget(layout, parent, compactStyle);
        gadget->setGeometry(layout.x, layout.y, layout.width, layout.height);
        if (layout.parent == GadgetParent::SettingsScroll)
            scrollArea->setWidget(gadget);
        if (layout.kind == GadgetKind::ScrollArea)
            scrollArea = static_cast<QScrollArea*>(gadget);
        if (layout.kind == GadgetKind::TabPanel)
            panel = static_cast<QTabWidget*>(gadget);
        m_widgets[layout.number] = gadget;
    }
}

int GadgetTable::state(Gadget gadget) const {
    QWidget* w = widget(gadget);
    if (auto* box = qobject_cast<QAbstractButton*>(w))
        return box->isChecked() ? 1 : 0;
    if (auto* slider = qobject_cast<QSlider*>(w))
        return slider->value();
    if (auto* spin = qobject_cast<QSpinBox*>(w))
        return spin->value();
    if (auto* bar = qobject_cast<QProgressBar*>(w))
        return bar->value();
    if (auto* tabs = qobject_cast<QTabBar*>(w))
        return tabs->currentIndex();
    if (auto* panel = qobject_cast<QTabWidget*>(w))
        return panel->currentIndex();
    if (auto* list = qobject_cast<QTreeWidget*>(w)) {
        const auto selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
    }
    return 0;
}

void GadgetTable::setState(Gadget gadget, int state) {
    QWidget* w = widget(gadget);
    if (auto* box = qobject_cast<QAbstractButton*>(w)) {
        box->setChecked(state != 0);
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
        slider->setValue(state);
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        spin->setValue(state);
    } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
        bar->setValue(state);
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        tabs->setCurrentIndex(state);
    } else if (auto* panel = qobject_cast<QTabWidget*>(w)) {
        panel->setCurrentIndex(state);
    } else if (auto* list = qobject_cast<QTreeWidget*>(w)) {
        QTreeWidgetItem* item = list->topLevelItem(state);
        if (item) {
            list->setCurrentItem(item);
        } else {
            list->clearSelection();
        }
    }
}

QString GadgetTable::text(Gadget gadget) const {
    QWidget* w = widget(gadget);
    if (auto* field = qobject_cast<QLineEdit*>(w))
        return field->text();
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* picker = qobject_cast<QTimeEdit*>(w))
        return picker->time().toString(u"HH:mm");
    if (auto* spin = qobject_cast<QSpinBox*>(w))
        return spin->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* list = qobject_cast<QTreeWidget*>(w)) {
        const auto selected = list->selectedItems();
        return selected.isEmpty() ? QString() : selected.first()->text(0);
    }
    return {};
}

void GadgetTable::setText(Gadget gadget, const QString& text) {
    QWidget* w = widget(gadget);
    if (auto* field = qobject_cast<QLineEdit*>(w)) {
        field->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* picker = qobject_cast<QTimeEdit*>(w)) {
        picker->setTime(QTime::fromString(text, u"HH:mm"));
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        spin->setValue(text.toInt());
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
    }
}

QString GadgetTable::itemText(Gadget gadget, int item) const {
    QWidget* w = widget(gadget);
    if (auto* tabs = qobject_cast<QTabBar*>(w))
        return tabs->tabText(item);
    if (auto* panel = qobject_cast<QTabWidget*>(w))
        return panel->tabText(item);
    if (auto* list = qobject_cast<QTreeWidget*>(w)) {
        QTreeWidgetItem* row = list->topLevelItem(item);
        if (!row)
            return {};
        QStringList columns;
        for (int c = 0; c < list->columnCount(); ++c)
            columns << row->text(c);
        return columns.join(u'\n');
    }
    return {};
}

void GadgetTable::setItemText(Gadget gadget, int item, const QString& text) {
    QWidget* w = widget(gadget);
    if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        tabs->setTabText(item, text);
    } else if (auto* panel = qobject_cast<QTabWidget*>(w)) {
        panel->setTabText(item, text);
    } else if (auto* list = qobject_cast<QTreeWidget*>(w)) {
        if (QTreeWidgetItem* row = list->topLevelItem(item)) {
            const QStringList columns = text.split(u'\n');
            for (int c = 0; c < columns.size() && c < list->columnCount(); ++c) {
                row->setText(c, columns[c]);
            }
        }
    }
}

void GadgetTable::addItem(Gadget gadget, const QString& text) {
    QWidget* w = widget(gadget);
    if (auto* list = qobject_cast<QTreeWidget*>(w)) {
        list->addTopLevelItem(new QTreeWidgetItem(text.split(u'\n')));
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        tabs->addTab(text);
    }
}

void GadgetTable::removeItem(Gadget gadget, int item) {
    QWidget* w = widget(gadget);
    if (auto* list = qobject_cast<QTreeWidget*>(w)) {
        QTreeWidgetItem* row = list->topLevelItem(item);
        const bool wasSelected = row && row->isSelected();
        delete list->takeTopLevelItem(item);
        // Qt would select the next row instead, which nobody chose.
        if (wasSelected)
            list->clearSelection();
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        tabs->removeTab(item);
    }
}

int GadgetTable::countItems(Gadget gadget) const {
    QWidget* w = widget(gadget);
    if (auto* list = qobject_cast<QTreeWidget*>(w))
        return list->topLevelItemCount();
    if (auto* tabs = qobject_cast<QTabBar*>(w))
        return tabs->count();
    if (auto* panel = qobject_cast<QTabWidget*>(w))
        return panel->count();
    return 0;
}
