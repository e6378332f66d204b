#include "app/remotealarmfields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <set>

namespace {

constexpr int kTextWidth = 260;

// The events in the order of the check boxes, with their German names.
constexpr std::pair<const char*, const char*> kEventNames[] = {
    {kEventTrigger, "Auslösung (mit Bild)"},      {kEventClip, "Video fertig oder gescheitert"},
    {kEventCamera, "Kamera verloren und zurück"}, {kEventWatch, "Überwachung ein/aus, fortgesetzt"},
    {kEventProgram, "Programmstart und -ende"},   {kEventUpload, "Upload gescheitert"},
};

std::set<std::string> wordsOf(const std::string& list) {
    std::set<std::string> words;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        if (end > start)
            words.insert(list.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// The bytes of `stored` while the field shows them unchanged, else what it shows.
std::string keptBytes(const std::string& stored, const QString& shown) {
    return QString::fromStdString(stored) == shown ? stored : shown.toStdString();
}

}  // namespace

std::string& channelEvents(RemoteAlarmEvents& events, AlertChannel channel) {
    switch (channel) {
        case AlertChannel::Mail:
            return events.mail;
        case AlertChannel::Push:
            return events.push;
        case AlertChannel::Mqtt:
            return events.mqtt;
    }
    return events.mail;
}

const char* channelKey(AlertChannel channel) {
    switch (channel) {
        case AlertChannel::Mail:
            return "mail";
        case AlertChannel::Push:
            return "push";
        case AlertChannel::Mqtt:
            return "mqtt";
    }
    return "";
}

RemoteAlarmFields::RemoteAlarmFields(const RemoteAlarmOptions& current) : m_current(current) {}

QCheckBox* RemoteAlarmFields::flag(const char* key, const QString& label,
                                   bool RemoteAlarmOptions::*member) {
    auto* box = new QCheckBox(label);
    box->setObjectName(QLatin1String(key));
    box->setChecked(m_current.*member);
    m_readers.push_back(
        [box, member](RemoteAlarmOptions& options) { options.*member = box->isChecked(); });
    return box;
}

QLineEdit* RemoteAlarmFields::text(const char* key, std::string RemoteAlarmOptions::*member) {
    auto* field = new QLineEdit(QString::fromStdString(m_current.*member));
    field->setObjectName(QLatin1String(key));
    // Room for a server's name or a web hook's address without scrolling.
    field->setMinimumWidth(kTextWidth);
    m_readers.push_back([field, member](RemoteAlarmOptions& options) {
        options.*member = keptBytes(options.*member, field->text());
    });
    return field;
}

QLineEdit* RemoteAlarmFields::password(const char* key, std::string RemoteAlarmOptions::*member) {
    QLineEdit* field = text(key, member);
    field->setEchoMode(QLineEdit::Password);
    return field;
}

QSpinBox* RemoteAlarmFields::number(const char* key, int RemoteAlarmOptions::*member, int minimum,
                                    int maximum, const QString& unit, const QString& none) {
    auto* number = new QSpinBox;
    number->setObjectName(QLatin1String(key));
    number->setRange(minimum, maximum);
    if (!unit.isEmpty())
        number->setSuffix(QLatin1Char(' ') + unit);
    number->setSpecialValueText(none);
    number->setValue(m_current.*member);
    m_readers.push_back(
        [number, member](RemoteAlarmOptions& options) { options.*member = number->value(); });
    return number;
}

QComboBox* RemoteAlarmFields::choice(const char* key, int RemoteAlarmOptions::*member,
                                     const QStringList& items) {
    auto* choice = new QComboBox;
    choice->setObjectName(QLatin1String(key));
    choice->addItems(items);
    choice->setCurrentIndex(m_current.*member);
    m_readers.push_back([choice, member](RemoteAlarmOptions& options) {
        options.*member = choice->currentIndex();
    });
    return choice;
}

RemoteAlarmOptions RemoteAlarmFields::values() const {
    RemoteAlarmOptions options = m_current;
    for (const auto& read : m_readers)
        read(options);
    return options;
}

RemoteAlarmEventFields::RemoteAlarmEventFields(const RemoteAlarmEvents& current)
    : m_current(current) {}

QGroupBox* RemoteAlarmEventFields::box(AlertChannel channel) {
    RemoteAlarmEvents current = m_current;
    const std::set<std::string> chosen = wordsOf(channelEvents(current, channel));
    auto* group = new QGroupBox(QStringLiteral("Meldet"));
    auto* layout = new QVBoxLayout(group);
    for (const auto& [word, name] : kEventNames) {
        auto* box = new QCheckBox(QString::fromUtf8(name));
        box->setObjectName(QString::fromLatin1(channelKey(channel)) + QLatin1Char(':') +
                           QLatin1String(word));
        box->setChecked(chosen.contains(word));
        layout->addWidget(box);
        m_boxes[channel].emplace_back(word, box);
    }
    return group;
}

RemoteAlarmEvents RemoteAlarmEventFields::values() const {
    RemoteAlarmEvents events = m_current;
    for (const auto& [channel, boxes] : m_boxes) {
        std::string& words = channelEvents(events, channel);
        std::set<std::string> known;
        std::string chosen;
        for (const auto& [word, box] : boxes) {
            if (!box->isChecked())
                continue;
            known.insert(word);
            if (!chosen.empty())
                chosen += ',';
            chosen += word;
        }
        std::set<std::string> stored = wordsOf(words);
        std::erase_if(stored, [](const std::string& word) {
            for (const auto& [known, name] : kEventNames) {
                if (word == known)
                    return false;
            }
            return true;
        });
        if (stored != known)
            words = chosen;
    }
    return events;
}
