#pragma once

#include <set>
#include <string>
#include <vector>

#include "outputs/alertmessage.h"

// One MQTT message as the broker gets it; every one goes at QoS 1.
struct MqttPublication {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// The topic under which one program publishes: the configured topic, and the profile as one
// more level when there is one. Characters that MQTT reads as wildcards or levels in the
// profile's name become "_".
std::string mqttTopicPrefix(const std::string& topic, const std::string& profile);

// Home Assistant's discovery of the motion sensor, the picture and the camera's state, one
// device for the three; published retained on every connect.
std::vector<MqttPublication> mqttDiscovery(const std::string& prefix, const std::string& profile);

// The kinds of event by which the channel keeps the motion and the camera's state, whichever
// events the user chose: a motion a trigger set is cleared however the clip ends.
std::set<WatchEvent::Kind> mqttStateKinds();

// What one alert becomes: the motion state, the picture, the camera's state and one JSON
// message of the event, in the order a subscriber should see them; of a message that only
// keeps the state, the state alone.
std::vector<MqttPublication> mqttPublications(const AlertMessage& message,
                                              const std::string& prefix);
