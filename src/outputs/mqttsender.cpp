#include "outputs/mqttsender.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "outputs/mqttmessages.h"

namespace {

// MQTT 3.1.1's answers to a login that the user has to mend: bad user name or password, not
// authorised.
constexpr int kBadCredentials = 4;
constexpr int kNotAuthorised = 5;
constexpr int kKeepAliveSeconds = 60;
// How long the end waits for the broker to take the last "offline".
constexpr std::chrono::seconds kGoodbyeWait{2};
// The pause before a connection that libmosquitto gave up is started again.
constexpr std::chrono::seconds kRestartPause{5};
constexpr int kRetainedQos = 1;

const char kOffline[] = "offline";

// The errors after which libmosquitto's network loop gives up instead of connecting again.
bool endsNetworkLoop(int code) {
    switch (code) {
        case MOSQ_ERR_NOMEM:
        case MOSQ_ERR_PROTOCOL:
        case MOSQ_ERR_INVAL:
        case MOSQ_ERR_NOT_FOUND:
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_PAYLOAD_SIZE:
        case MOSQ_ERR_NOT_SUPPORTED:
        case MOSQ_ERR_AUTH:
        case MOSQ_ERR_ACL_DENIED:
        case MOSQ_ERR_UNKNOWN:
        case MOSQ_ERR_EAI:
        case MOSQ_ERR_PROXY:
            return true;
        default:
            return false;
    }
}

// One per running program and profile: the broker drops an older connection of the same id.
std::string clientId(const std::string& profile) {
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) != 0)
        host[0] = '\0';
    std::string id = "sentello-" + std::string(host.data()) + "-" + std::to_string(::getpid());
    if (!profile.empty())
        id += "-" + profile;
    return id;
}

}  // namespace

MqttSender::MqttSender(MqttSettings settings)
    : m_settings(std::move(settings)),
      m_prefix(mqttTopicPrefix(m_settings.topic, m_settings.profile)),
      m_pin(m_settings.pinnedCertificate, m_settings.server) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
    const std::string id =
        clientId(m_settings.profile) + (m_settings.standsForProgram ? "" : "-test");
    m_client = mosquitto_new(id.c_str(), true, this);
    if (!m_client) {
        m_reason = "Die Verbindung zum MQTT-Server " + serverName() + " lässt sich nicht anlegen.";
        return;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, onConnect);
    mosquitto_disconnect_callback_set(m_client, onDisconnect);
    mosquitto_publish_callback_set(m_client, onPublish);
    mosquitto_log_callback_set(m_client, onLog);
    mosquitto_reconnect_delay_set(m_client, 1, 10, true);
    const std::string status = m_prefix + "/status";
    if (m_settings.standsForProgram)
        mosquitto_will_set(m_client, status.c_str(), sizeof kOffline - 1, kOffline, kRetainedQos,
                           true);
    if (!m_settings.user.empty())
        mosquitto_username_pw_set(m_client, m_settings.user.c_str(), m_settings.password.c_str());
    if (!m_settings.tls || setUpTls()) {
        start();
    } else {
        // Never plain instead: the channel stays refused until its settings are mended.
        m_refused = true;
        m_reason = "Die verschlüsselte Verbindung zum MQTT-Server " + serverName() +
                   " lässt sich nicht einrichten.";
    }
    m_watch = std::thread([this] { watch(); });
}

MqttSender::~MqttSender() {
    if (!m_client)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_watch.join();
    bool connected = false;
    {
        std::unique_lock lock(m_mutex);
        if (m_connected && m_settings.standsForProgram) {
            m_unacknowledged.clear();
            publish(m_prefix + "/status", kOffline, true);
            m_changed.wait_for(lock, kGoodbyeWait,
                               [this] { return m_unacknowledged.empty() || !m_connected; });
        }
        connected = m_connected;
    }
    mosquitto_disconnect(m_client);
    bool closed = false;
    {
        std::unique_lock lock(m_mutex);
        closed =
            connected && m_changed.wait_for(lock, kGoodbyeWait, [this] { return !m_connected; });
    }
    // A loop that has said goodbye ends at once; one that is still connecting (a connect() to
    // a host that does not answer can block for minutes) is cancelled.
    if (m_looping)
        mosquitto_loop_stop(m_client, !closed);
    mosquitto_destroy(m_client);
}

bool MqttSender::setUpTls() {
    // A context of the channel's own, without libmosquitto's defaults, which would put its own
    // check, that knows no pin, in place of the pin's. libmosquitto keeps a reference of its own
    // until the client is destroyed.
    const SslContext context = newSystemTrustContext();
    return context && m_pin.guard(context.get()) &&
           mosquitto_int_option(m_client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0) == MOSQ_ERR_SUCCESS &&
           mosquitto_void_option(m_client, MOSQ_OPT_SSL_CTX, context.get()) == MOSQ_ERR_SUCCESS;
}

void MqttSender::start() {
    const int code = mosquitto_connect_async(m_client, m_settings.server.c_str(), m_settings.port,
                                             kKeepAliveSeconds);
    if (code == MOSQ_ERR_SUCCESS && mosquitto_loop_start(m_client) == MOSQ_ERR_SUCCESS) {
        m_looping = true;
        return;
    }
    std::lock_guard lock(m_mutex);
    m_ended = true;
    if (code == MOSQ_ERR_EAI)
        m_reason = "Der Name des MQTT-Servers " + serverName() + " lässt sich nicht auflösen.";
    else if (!m_refused)
        m_reason = "Keine Verbindung zum MQTT-Server " + serverName() + ".";
}

void MqttSender::watch() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || m_ended; });
        // A pause first, so that a broker that fails at once is not asked again and again.
        if (m_changed.wait_for(lock, kRestartPause, [this] { return m_stopping; }))
            return;
        m_ended = false;
        lock.unlock();
        if (m_looping)
            mosquitto_loop_stop(m_client, false);
        m_looping = false;
        start();
        lock.lock();
    }
}

std::string MqttSender::serverName() const {
    return m_settings.server + ":" + std::to_string(m_settings.port);
}

bool MqttSender::publish(const std::string& topic, const std::string& payload, bool retained) {
    int messageId = 0;
    if (mosquitto_publish(m_client, &messageId, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, retained) != MOSQ_ERR_SUCCESS)
        return false;
    m_unacknowledged.insert(messageId);
    return true;
}

void MqttSender::abandon() {
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
    }
    m_changed.notify_all();
}

Delivery MqttSender::send(const AlertMessage& message) {
    if (!m_client)
        return {Delivery::Outcome::TryAgain, m_reason, {}};
    const std::vector<MqttPublication> publications = mqttPublications(message, m_prefix);
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, kFirstConnectionWait,
                       [this] { return m_connected || m_answered || m_ended || m_abandoned; });
    if (m_abandoned)
        return {Delivery::Outcome::TryAgain, "Das Programm endet.", {}};
    if (!m_connected) {
        if (!m_pin.refusedCertificate().empty()) {
            Delivery refusal = m_pin.refusal();
            refusal.reason += " (MQTT-Server " + serverName() + ")";
            return refusal;
        }
        std::string tlsFailure;
        {
            std::lock_guard tlsLock(m_tlsMutex);
            tlsFailure = m_tlsFailure;
        }
        if (!tlsFailure.empty())
            return {Delivery::Outcome::Refused,
                    "Die verschlüsselte Verbindung zum MQTT-Server " + serverName() +
                        " ist gescheitert, sein Zertifikat oder seine Verschlüsselung wurde "
                        "nicht anerkannt (" +
                        tlsFailure + ").",
                    {}};
        if (m_refused)
            return {Delivery::Outcome::Refused, m_reason, {}};
        return {
            Delivery::Outcome::TryAgain,
            m_reason.empty() ? "Keine Verbindung zum MQTT-Server " + serverName() + "." : m_reason,
            {}};
    }
    // Acknowledgements of an earlier message that timed out count for nothing now.
    m_unacknowledged.clear();
    for (const MqttPublication& publication : publications) {
        if (!publish(publication.topic, publication.payload, publication.retained))
            return {
                Delivery::Outcome::TryAgain,
                "Die Nachricht ließ sich nicht an den MQTT-Server " + serverName() + " übergeben.",
                {}};
    }
    m_changed.wait_for(lock, kAcknowledgementWait,
                       [this] { return m_unacknowledged.empty() || !m_connected || m_abandoned; });
    if (m_unacknowledged.empty())
        return {Delivery::Outcome::Delivered, {}, {}};
    if (!m_connected)
        return {Delivery::Outcome::TryAgain,
                "Die Verbindung zum MQTT-Server " + serverName() + " ist abgebrochen.",
                {}};
    return {Delivery::Outcome::TryAgain,
            "Der MQTT-Server " + serverName() + " hat die Nachricht nicht innerhalb von " +
                std::to_string(kAcknowledgementWait.count()) + " Sekunden bestätigt.",
            {}};
}

void MqttSender::onConnect(mosquitto* client, void* self, int code) {
    auto* sender = static_cast<MqttSender*>(self);
    // Any answer came through the handshake: the certificate was taken.
    sender->m_pin.forget();
    if (code == 0) {
        std::lock_guard lock(sender->m_tlsMutex);
        sender->m_tlsFailure.clear();
    }
    {
        // Connected and announced in one step: a message sent now comes after the announcement,
        // and an end that comes now says "offline" after it.
        std::lock_guard lock(sender->m_mutex);
        sender->m_answered = true;
        sender->m_connected = code == 0;
        sender->m_refused = code == kBadCredentials || code == kNotAuthorised;
        if (code == 0 && sender->m_settings.standsForProgram) {
            // Retained, so that a subscriber that comes later learns it too; not waited for.
            const std::string status = sender->m_prefix + "/status";
            mosquitto_publish(client, nullptr, status.c_str(), 6, "online", kRetainedQos, true);
            for (const MqttPublication& publication :
                 mqttDiscovery(sender->m_prefix, sender->m_settings.profile))
                mosquitto_publish(client, nullptr, publication.topic.c_str(),
                                  static_cast<int>(publication.payload.size()),
                                  publication.payload.data(), kRetainedQos, publication.retained);
        }
        if (code == 0) {
            sender->m_reason.clear();
        } else if (sender->m_refused) {
            sender->m_reason = "Der MQTT-Server " + sender->serverName() +
                               " hat die Anmeldung abgelehnt: Benutzername oder Passwort falsch, "
                               "oder keine Berechtigung.";
        } else {
            sender->m_reason = "Der MQTT-Server " + sender->serverName() +
                               " hat die Verbindung abgelehnt (Code " + std::to_string(code) + ").";
        }
    }
    sender->m_changed.notify_all();
}

void MqttSender::onDisconnect(mosquitto* /*client*/, void* self, int code) {
    auto* sender = static_cast<MqttSender*>(self);
    {
        std::lock_guard lock(sender->m_mutex);
        sender->m_answered = true;
        sender->m_connected = false;
        sender->m_ended = endsNetworkLoop(code);
        if (code != MOSQ_ERR_SUCCESS && code != MOSQ_ERR_CONN_REFUSED) {
            // A refused login keeps its reason from the connect.
            sender->m_refused = false;
            sender->m_reason =
                "Die Verbindung zum MQTT-Server " + sender->serverName() + " ist abgebrochen.";
        }
    }
    sender->m_changed.notify_all();
}

void MqttSender::onPublish(mosquitto* /*client*/, void* self, int messageId) {
    auto* sender = static_cast<MqttSender*>(self);
    {
        std::lock_guard lock(sender->m_mutex);
        sender->m_unacknowledged.erase(messageId);
    }
    sender->m_changed.notify_all();
}

void MqttSender::onLog(mosquitto* /*client*/, void* self, int level, const char* text) {
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
    static constexpr std::string_view kOpenSsl = "OpenSSL Error";
    const std::string_view line(text);
    if (level != MOSQ_LOG_ERR || line.substr(0, kOpenSsl.size()) != kOpenSsl)
        return;
    std::string failure(line.substr(std::min(line.find(": "), line.size() - 2) + 2));
    for (char& c : failure) {
        if (static_cast<unsigned char>(c) < ' ' || c == '\x7f')
            c = ' ';
    }
    auto* sender = static_cast<MqttSender*>(self);
    std::lock_guard lock(sender->m_tlsMutex);
    sender->m_tlsFailure = failure;
}
