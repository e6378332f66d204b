#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "outputs/alertmessage.h"
#include "outputs/certificatepin.h"

struct mosquitto;

// Where the MQTT channel publishes.
struct MqttSettings {
    std::string server;
    int port = 1883;
    bool tls = false;
    std::string user;
    std::string password;
    std::string topic = "sentello";
    // Appended to the topic as one more level when not empty.
    std::string profile;
    // The SHA-256 fingerprint of the broker's certificate the user trusts, besides those the
    // system's authorities vouch for; empty: none.
    std::string pinnedCertificate;
    // A connection that stands for the running program: it says "online" and announces the
    // device when it connects, "offline" at its end and by its will, under the program's
    // client id. A one-off connection (the dialog's test) does none of this and has an id of
    // its own, so that the running alarm's connection and status stay as they are.
    bool standsForProgram = true;
};

// The MQTT channel: one connection to the broker, kept by libmosquitto's own network thread and
// made again by it whenever it drops; a will tells the broker's subscribers that the program is
// gone when it ends without saying so.
class MqttSender : public AlertSender {
public:
    // How long a message's acknowledgements are waited for.
    static constexpr std::chrono::seconds kAcknowledgementWait{10};
    // How long a send waits for the first connection, begun when the sender was made: the
    // dialog's test and the first alarm after the start go out on it, not after a retry.
    static constexpr std::chrono::seconds kFirstConnectionWait{5};

    explicit MqttSender(MqttSettings settings);
    ~MqttSender() override;
    MqttSender(const MqttSender&) = delete;
    MqttSender& operator=(const MqttSender&) = delete;

    Delivery send(const AlertMessage& message) override;
    void abandon() override;

private:
    static void onConnect(mosquitto* client, void* self, int code);
    static void onDisconnect(mosquitto* client, void* self, int code);
    static void onPublish(mosquitto* client, void* self, int messageId);
    static void onLog(mosquitto* client, void* self, int level, const char* text);

    // How the broker's certificate is checked; false when that cannot be set up.
    bool setUpTls();
    // Connects in the background, on libmosquitto's network thread.
    void start();
    // Starts the connection again whenever libmosquitto has given it up: its network thread
    // retries a connection that dropped, but not a first one that failed at once, nor one after
    // an error it takes for final.
    void watch();
    // Publishes under m_mutex, so that an acknowledgement cannot come before its id is noted.
    bool publish(const std::string& topic, const std::string& payload, bool retained);
    std::string serverName() const;

    const MqttSettings m_settings;
    const std::string m_prefix;
    // Outlives m_client, whose TLS context refers to it.
    CertificatePin m_pin;
    mosquitto* m_client = nullptr;
    // Touched only by the constructor, the watch and the destructor, one after the other.
    bool m_looping = false;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_connected = false;
    // The network thread gave the connection up.
    bool m_ended = false;
    bool m_stopping = false;
    bool m_abandoned = false;
    // The first connection attempt has had its answer, whatever it was.
    bool m_answered = false;
    // Why the last connection failed; Refused when the broker refused the login or the
    // certificate failed.
    std::string m_reason;
    bool m_refused = false;
    std::set<int> m_unacknowledged;

    // What OpenSSL said of the last failed handshake, which libmosquitto only logs. Its own
    // mutex: libmosquitto logs from inside calls made under m_mutex.
    std::mutex m_tlsMutex;
    std::string m_tlsFailure;

    std::thread m_watch;
};
