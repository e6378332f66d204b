#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// The fields of a dialog over a group's plain value struct, each named as its key and bound to
// its member, so that what they hold is read back in one place: when the dialog is accepted,
// and for a test with the values not yet saved.
template <typename Options>
class OptionFields {
public:
    explicit OptionFields(const Options& current) : m_current(current) {}

    QCheckBox* flag(const char* key, const QString& label, bool Options::*member) {
        auto* box = new QCheckBox(label);
        box->setObjectName(QLatin1String(key));
        box->setChecked(m_current.*member);
        m_readers.push_back(
            [box, member](Options& options) { options.*member = box->isChecked(); });
        return box;
    }

    QLineEdit* text(const char* key, std::string Options::*member) {
        auto* field = new QLineEdit(QString::fromStdString(m_current.*member));
        field->setObjectName(QLatin1String(key));
        // Room for a server's name or a web hook's address without scrolling.
        field->setMinimumWidth(kTextWidth);
        m_readers.push_back([field, member](Options& options) {
            options.*member = keptBytes(options.*member, field->text());
        });
        return field;
    }

    // Shown as dots, never in clear.
    QLineEdit* password(const char* key, std::string Options::*member) {
        QLineEdit* field = text(key, member);
        field->setEchoMode(QLineEdit::Password);
        return field;
    }

    // `none` is shown for the minimum, when given.
    QSpinBox* number(const char* key, int Options::*member, int minimum, int maximum,
                     const QString& unit = {}, const QString& none = {}) {
        auto* number = new QSpinBox;
        number->setObjectName(QLatin1String(key));
        number->setRange(minimum, maximum);
        if (!unit.isEmpty())
            number->setSuffix(QLatin1Char(' ') + unit);
        number->setSpecialValueText(none);
        number->setValue(m_current.*member);
        m_readers.push_back(
            [number, member](Options& options) { options.*member = number->value(); });
        return number;
    }

    // The option is the chosen item's index.
    QComboBox* choice(const char* key, int Options::*member, const QStringList& items) {
        auto* choice = new QComboBox;
        choice->setObjectName(QLatin1String(key));
        choice->addItems(items);
        choice->setCurrentIndex(m_current.*member);
        m_readers.push_back(
            [choice, member](Options& options) { options.*member = choice->currentIndex(); });
        return choice;
    }

    // What the fields hold now. A text the user left as it was keeps its bytes, even those
    // that are no UTF-8, so that an unchanged dialog changes nothing.
    Options values() const {
        Options options = m_current;
        for (const auto& read : m_readers)
            read(options);
        return options;
    }

private:
    static constexpr int kTextWidth = 260;

    // The bytes of `stored` while the field shows them unchanged, else what it shows.
    static std::string keptBytes(const std::string& stored, const QString& shown) {
        return QString::fromStdString(stored) == shown ? stored : shown.toStdString();
    }

    const Options m_current;
    std::vector<std::function<void(Options&)>> m_readers;
};
