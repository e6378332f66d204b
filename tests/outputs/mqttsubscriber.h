#pragma once

#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A second client on the broker's plain listener that hears every topic, retained ones
// included, in the order they came.
class MqttSubscriber {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retained = false;
    };

    MqttSubscriber(int port, const char* user, const char* password) {
        mosquitto_lib_init();
        m_client = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(m_client, user, password);
        mosquitto_connect_callback_set(m_client, [](mosquitto* client, void*, int code) {
            if (code == 0)
                mosquitto_subscribe(client, nullptr, "#", 1);
        });
        mosquitto_message_callback_set(
            m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
                auto* subscriber = static_cast<MqttSubscriber*>(self);
                {
                    std::lock_guard lock(subscriber->m_mutex);
                    subscriber->m_messages.push_back(
                        {message->topic,
                         std::string(static_cast<const char*>(message->payload),
                                     static_cast<std::size_t>(message->payloadlen)),
                         message->retain});
                }
                subscriber->m_arrived.notify_all();
            });
        mosquitto_connect_async(m_client, "127.0.0.1", port, 60);
        mosquitto_loop_start(m_client);
    }
    ~MqttSubscriber() {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, true);
        mosquitto_destroy(m_client);
    }
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    // Waits up to 20 s until the messages so far satisfy `condition`; the messages then.
    std::vector<Message> waitFor(
        const std::function<bool(const std::vector<Message>&)>& condition) {
        std::unique_lock lock(m_mutex);
        m_arrived.wait_for(lock, std::chrono::seconds(20), [&] { return condition(m_messages); });
        return m_messages;
    }
    // Waits until `topic` has had `payload`, and tells whether it had.
    bool waitFor(const std::string& topic, const std::string& payload) {
        return has(waitFor([&](const auto& messages) { return has(messages, topic, payload); }),
                   topic, payload);
    }
    // The payloads of `topic` until now, oldest first.
    std::vector<std::string> payloads(const std::string& topic) {
        std::lock_guard lock(m_mutex);
        return payloadsOf(m_messages, topic);
    }

    static std::vector<std::string> payloadsOf(const std::vector<Message>& messages,
                                               const std::string& topic) {
        std::vector<std::string> found;
        for (const Message& message : messages)
            if (message.topic == topic)
                found.push_back(message.payload);
        return found;
    }

    static bool has(const std::vector<Message>& messages, const std::string& topic,
                    const std::string& payload) {
        for (const Message& message : messages)
            if (message.topic == topic && message.payload == payload)
                return true;
        return false;
    }

private:
    mosquitto* m_client = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Message> m_messages;
};
