#include "settings/remotealarmoptions.h"

#include <array>

#include "settings/keytable.h"

namespace {

using Options = RemoteAlarmOptions;

constexpr NumberRange kPortRange{1, kMaxPort};

// In the order in which they are written.
constexpr std::array<SettingKey<Options>, 25> kRemoteAlarmKeys{{
    {"mqtt", KeyKind::Flag, &Options::mqtt},
    {"mqttserver", KeyKind::Bytes, &Options::mqttServer},
    {"mqttport", KeyKind::Number, &Options::mqttPort, kPortRange},
    {"mqtttls", KeyKind::Flag, &Options::mqttTls},
    {"mqttuser", KeyKind::Bytes, &Options::mqttUser},
    {"mqttpass", KeyKind::Credential, &Options::mqttPassword},
    {"mqttthema", KeyKind::Bytes, &Options::mqttTopic},
    {"mail", KeyKind::Flag, &Options::mail},
    {"mailserver", KeyKind::Bytes, &Options::mailServer},
    {"mailport", KeyKind::Number, &Options::mailPort, kPortRange},
    {"mailsicherheit",
     KeyKind::Number,
     &Options::mailSecurity,
     {static_cast<int>(MailSecurity::None), static_cast<int>(MailSecurity::Smtps)}},
    {"mailuser", KeyKind::Bytes, &Options::mailUser},
    {"mailpass", KeyKind::Credential, &Options::mailPassword},
    {"mailabsender", KeyKind::Bytes, &Options::mailSender},
    {"mailempfaenger", KeyKind::Bytes, &Options::mailRecipients},
    {"mailvideo", KeyKind::Number, &Options::mailVideoMb, {0, kMaxMailVideoMb}},
    {"push", KeyKind::Flag, &Options::push},
    {"pushurl", KeyKind::Bytes, &Options::pushUrl},
    {"pushtoken", KeyKind::Credential, &Options::pushToken},
    {"pushformat",
     KeyKind::Number,
     &Options::pushFormat,
     {static_cast<int>(PushFormat::Ntfy), static_cast<int>(PushFormat::Json)}},
    {"abstand", KeyKind::Number, &Options::intervalSeconds, {0, kMaxAlarmIntervalSeconds}},
    {"ausgang", KeyKind::Number, &Options::outboxMb, {1, kMaxOutboxMb}},
    {"mqttzertifikat", KeyKind::Bytes, &Options::mqttCertificate},
    {"mailzertifikat", KeyKind::Bytes, &Options::mailCertificate},
    {"pushzertifikat", KeyKind::Bytes, &Options::pushCertificate},
}};

}  // namespace

RemoteAlarmOptions loadRemoteAlarmOptions(const std::string& settingsFile) {
    RemoteAlarmOptions options;
    SettingsFile file;
    file.open(settingsFile);
    if (file.selectGroup(kRemoteAlarmGroup))
        readKeys(file, kRemoteAlarmKeys, options);
    return options;
}

void saveRemoteAlarmOptions(const RemoteAlarmOptions& options, const std::string& settingsFile) {
    SettingsFile file;
    if (openForWriting(file, settingsFile, kRemoteAlarmGroup))
        writeKeys(file, kRemoteAlarmKeys, options);
}
