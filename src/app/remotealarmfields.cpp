#include "app/remotealarmfields.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include <set>

namespace {

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

}  // namespace

std::string& channelEvents(RemoteAlarmEvents& events, AlertChannel channel) {
    switch (channel) {
        case AlertChannel::Mail:
            return events.mail;
        case AlertChannel::Push:
            return events.push;
        case AlertChannel::Mqtt:
            return events.mqtt;
        case AlertChannel::CopyPicture:
        case AlertChannel::CopyClip:
            break;  // the copies send what they copy, no events chosen
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
        case AlertChannel::CopyPicture:
        case AlertChannel::CopyClip:
            return "kopie";
    }
    return "";
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
