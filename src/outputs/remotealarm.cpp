#include "outputs/remotealarm.h"

#include <chrono>
#include <map>
#include <utility>
#include <variant>
#include <vector>

#include "outputs/mailsender.h"
#include "outputs/mqttmessages.h"
#include "outputs/mqttsender.h"
#include "outputs/pushsender.h"
#include "settings/remotealarmevents.h"

namespace {

std::map<AlertChannel, std::unique_ptr<AlertSender>> sendersFor(const RemoteAlarmOptions& options,
                                                                const std::string& profile) {
    std::map<AlertChannel, std::unique_ptr<AlertSender>> senders;
    for (const auto& [channel, on] :
         {std::pair{AlertChannel::Mail, options.mail}, std::pair{AlertChannel::Push, options.push},
          std::pair{AlertChannel::Mqtt, options.mqtt}}) {
        if (on)
            senders[channel] = makeAlertSender(channel, options, profile, SenderUse::Alarm);
    }
    return senders;
}

// What each channel switched on sends, as the user chose it.
std::vector<AlertChannelChoice> choicesFor(
    const std::map<AlertChannel, std::unique_ptr<AlertSender>>& senders,
    const std::string& settingsFile) {
    const RemoteAlarmEvents events = loadRemoteAlarmEvents(settingsFile);
    std::vector<AlertChannelChoice> channels;
    for (const auto& [channel, sender] : senders) {
        switch (channel) {
            case AlertChannel::Mail:
                channels.push_back({channel, alertKindsOf(events.mail)});
                break;
            case AlertChannel::Push:
                channels.push_back({channel, alertKindsOf(events.push)});
                break;
            case AlertChannel::Mqtt:
                channels.push_back({channel, alertKindsOf(events.mqtt), mqttStateKinds()});
                break;
            case AlertChannel::CopyPicture:
                channels.push_back({channel, {WatchEvent::Kind::Trigger}, {}, false});
                break;
            case AlertChannel::CopyClip:
                break;  // by ClipCopies
        }
    }
    return channels;
}

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* channelName(AlertChannel channel) {
    switch (channel) {
        case AlertChannel::Mail:
            return "E-Mail";
        case AlertChannel::Push:
            return "Push";
        case AlertChannel::Mqtt:
            return "MQTT";
        case AlertChannel::CopyPicture:
        case AlertChannel::CopyClip:
            return "Kopie";
    }
    return "";
}

const char* reportWords(OutboxReport::Kind kind) {
    using Kind = OutboxReport::Kind;
    switch (kind) {
        case Kind::PictureDropped:
            return "Bild verworfen, Ausgang voll";
        case Kind::TextDropped:
            return "Nachricht verworfen, Ausgang voll";
        case Kind::Expired:
            return "Nachricht nach 24 Stunden verworfen";
        case Kind::Unreadable:
            return "unlesbare Datei aus dem Ausgang entfernt";
        case Kind::DeliveredLate:
            return "verspätet zugestellt";
        case Kind::Refused:
            return "abgelehnt";
        case Kind::NotWritten:
            return "Nachricht nicht gespeichert";
        case Kind::Gone:
            return "verworfen";
    }
    return "";
}

}  // namespace

std::unique_ptr<AlertSender> makeAlertSender(AlertChannel channel,
                                             const RemoteAlarmOptions& options,
                                             const std::string& profile, SenderUse use) {
    switch (channel) {
        case AlertChannel::Mail:
            return std::make_unique<MailSender>(
                MailSettings{options.mailServer, options.mailPort, options.mailSecurity,
                             options.mailUser, options.mailPassword, options.mailSender,
                             options.mailRecipients, options.mailVideoMb, options.mailCertificate});
        case AlertChannel::Push:
            return std::make_unique<PushSender>(PushSettings{
                options.pushUrl, options.pushToken, options.pushFormat, options.pushCertificate});
        case AlertChannel::Mqtt:
            return std::make_unique<MqttSender>(
                MqttSettings{options.mqttServer, options.mqttPort, options.mqttTls,
                             options.mqttUser, options.mqttPassword, options.mqttTopic, profile,
                             options.mqttCertificate, use == SenderUse::Alarm});
        case AlertChannel::CopyPicture:
        case AlertChannel::CopyClip:
            break;  // not the remote alarm's options: CopySender
    }
    return nullptr;
}

RemoteAlarm::RemoteAlarm(std::unique_ptr<Outbox> outbox, AlertDispatch dispatch,
                         std::unique_ptr<ClipCopies> copies)
    : m_outbox(std::move(outbox)), m_dispatch(std::move(dispatch)), m_copies(std::move(copies)) {}

void RemoteAlarm::onWatchEvent(const WatchEvent& event) {
    m_dispatch.onWatchEvent(event);
    if (m_copies)
        m_copies->onWatchEvent(event);
}

void RemoteAlarm::copyClipPart(const std::string& clipName, int index,
                               const std::string& partFile) {
    if (m_copies)
        m_copies->copyClipPart(clipName, index, partFile);
}

void RemoteAlarm::copyClip(const std::string& clipPath) {
    if (m_copies)
        m_copies->copyClip(clipPath);
}

OutboxState RemoteAlarm::outboxState() const {
    return m_outbox->state({AlertChannel::Mail, AlertChannel::Push, AlertChannel::Mqtt});
}

OutboxState RemoteAlarm::copyState() const {
    return m_outbox->state({AlertChannel::CopyPicture, AlertChannel::CopyClip});
}

std::unique_ptr<RemoteAlarm> RemoteAlarm::start(Setup setup, std::string& failure) {
    const RemoteAlarmOptions& options = setup.options;
    if (!options.mail && !options.push && !options.mqtt && !setup.copy)
        return nullptr;
    std::variant<OutboxFolder, std::string> folder =
        OutboxFolder::open(outboxPath(setup.settingsFile));
    if (const auto* reason = std::get_if<std::string>(&folder)) {
        failure = *reason;
        return nullptr;
    }
    auto senders = sendersFor(options, setup.profile);
    if (setup.copy) {
        senders[AlertChannel::CopyPicture] = std::make_unique<CopySender>(*setup.copy);
        senders[AlertChannel::CopyClip] = std::make_unique<CopySender>(*setup.copy);
    }
    std::vector<AlertChannelChoice> channels = choicesFor(senders, setup.settingsFile);
    const std::function<void(const WatchEvent&)> report = std::move(setup.report);
    auto outbox = std::make_unique<Outbox>(
        std::move(std::get<OutboxFolder>(folder)), std::move(senders),
        std::uintmax_t(options.outboxMb) << 20,
        [report](const OutboxReport& outboxReport) { report(remoteAlarmReport(outboxReport)); });
    Outbox* queue = outbox.get();
    auto enqueue = [queue](AlertMessage message) { queue->enqueue(std::move(message)); };
    AlertDispatch dispatch(std::move(channels), options.intervalSeconds, setup.profile,
                           {.picture = std::move(setup.picture),
                            .steadyMs = steadyMs,
                            .wallMs = OutboxClocks().wallMs,
                            .enqueue = enqueue});
    std::unique_ptr<ClipCopies> copies;
    if (setup.copy)
        copies = std::make_unique<ClipCopies>(ClipCopies::Services{
            .enqueue = enqueue, .localNow = [] { return localNow(); }, .profile = setup.profile});
    return std::make_unique<RemoteAlarm>(std::move(outbox), std::move(dispatch), std::move(copies));
}

WatchEvent remoteAlarmReport(const OutboxReport& report) {
    return {.kind = WatchEvent::Kind::RemoteAlarmReport,
            .remoteName = channelName(report.channel),
            .step = reportWords(report.kind),
            .reason = report.reason,
            .detail = report.id};
}
