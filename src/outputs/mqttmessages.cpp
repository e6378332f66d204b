#include "outputs/mqttmessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "outputs/alerttext.h"

namespace {

const char* const kOnline = "online";
const char* const kOffline = "offline";

// Home Assistant takes only these characters in a node id and likes them in a unique id.
std::string idOf(const std::string& prefix) {
    std::string id = prefix;
    for (char& c : id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    return id;
}

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

std::string json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// What every entity of the program shares: its device, and that the program is offline when
// its will says so.
QJsonObject entity(const std::string& prefix, const std::string& profile, const char* name,
                   const char* key) {
    const std::string id = idOf(prefix);
    return QJsonObject{
        {"name", name},
        {"unique_id", text(id + "_" + key)},
        {"availability_topic", text(prefix + "/status")},
        {"payload_available", kOnline},
        {"payload_not_available", kOffline},
        {"device", QJsonObject{{"identifiers", QJsonArray{text(id)}},
                               {"name", text(profile.empty() ? "Sentello" : "Sentello " + profile)},
                               {"manufacturer", "Sentello"},
                               {"model", "Sentello"}}},
    };
}

std::string configTopic(const char* component, const std::string& prefix, const char* key) {
    return std::string("homeassistant/") + component + "/" + idOf(prefix) + "/" + key + "/config";
}

}  // namespace

std::string mqttTopicPrefix(const std::string& topic, const std::string& profile) {
    if (profile.empty())
        return topic;
    std::string level = profile;
    for (char& c : level) {
        if (c == '/' || c == '+' || c == '#')
            c = '_';
    }
    return topic + "/" + level;
}

std::vector<MqttPublication> mqttDiscovery(const std::string& prefix, const std::string& profile) {
    QJsonObject motion = entity(prefix, profile, "Bewegung", "motion");
    motion.insert("state_topic", text(prefix + "/motion"));
    motion.insert("device_class", "motion");
    motion.insert("payload_on", "ON");
    motion.insert("payload_off", "OFF");

    QJsonObject picture = entity(prefix, profile, "Bild", "picture");
    picture.insert("topic", text(prefix + "/picture"));

    QJsonObject camera = entity(prefix, profile, "Kamera", "camera");
    camera.insert("state_topic", text(prefix + "/camera"));
    camera.insert("device_class", "connectivity");
    camera.insert("payload_on", kOnline);
    camera.insert("payload_off", kOffline);

    return {{configTopic("binary_sensor", prefix, "motion"), json(motion), true},
            {configTopic("camera", prefix, "picture"), json(picture), true},
            {configTopic("binary_sensor", prefix, "camera"), json(camera), true}};
}

std::set<WatchEvent::Kind> mqttStateKinds() {
    using Kind = WatchEvent::Kind;
    return {Kind::ClipFinished, Kind::ClipFailed, Kind::CameraLost, Kind::CameraBack};
}

std::vector<MqttPublication> mqttPublications(const AlertMessage& message,
                                              const std::string& prefix) {
    using Kind = WatchEvent::Kind;
    using Effect = WatchEvent::Effect;
    const WatchEvent& event = message.event;
    const MqttPublication motionOn{prefix + "/motion", "ON", false};
    const MqttPublication motionOff{prefix + "/motion", "OFF", false};
    MqttPublication eventMessage{prefix + "/event", alertJson(message, false), false};
    if (message.test)
        return {std::move(eventMessage)};

    std::vector<MqttPublication> publications;
    const auto withEvent = [&](MqttPublication state) {
        std::vector<MqttPublication> both{std::move(state)};
        if (!message.stateOnly)
            both.push_back(std::move(eventMessage));
        return both;
    };
    switch (event.kind) {
        case Kind::Trigger:
            publications.push_back(motionOn);
            if (!message.picture.empty())
                publications.push_back({prefix + "/picture", message.picture, true});
            publications.push_back(std::move(eventMessage));
            // Without a clip nothing else ends the motion.
            if (event.effect == Effect::AlarmOnly || event.effect == Effect::Counted)
                publications.push_back(motionOff);
            return publications;
        case Kind::ClipFinished:
        case Kind::ClipFailed:
            return withEvent(motionOff);
        case Kind::CameraLost:
            return withEvent({prefix + "/camera", kOffline, true});
        case Kind::CameraBack:
            return withEvent({prefix + "/camera", kOnline, true});
        default:
            return {std::move(eventMessage)};
    }
}
