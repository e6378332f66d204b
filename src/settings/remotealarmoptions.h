#pragma once

#include <string>

// The remote alarm's options have a group of their own, written only once the user has chosen
// something there: a file of a user who never did stays as it was.
inline constexpr char kRemoteAlarmGroup[] = "Fernalarm";

inline constexpr int kMaxPort = 65535;
inline constexpr int kMaxMailVideoMb = 100;
inline constexpr int kMaxAlarmIntervalSeconds = 3600;
inline constexpr int kMaxOutboxMb = 10'000;

enum class MailSecurity { None = 0, StartTls = 1, Smtps = 2 };
enum class PushFormat { Ntfy = 0, Json = 1 };

// Texts are kept as the bytes of the file (UTF-8); the passwords and the token scrambled as
// the FTP password is. The certificates are SHA-256 fingerprints of a server's certificate the
// user chose to trust; empty for the system's authorities.
struct RemoteAlarmOptions {
    bool mqtt = false;                   // "mqtt"
    std::string mqttServer;              // "mqttserver"
    int mqttPort = 1883;                 // "mqttport", 1..65535
    bool mqttTls = false;                // "mqtttls"
    std::string mqttUser;                // "mqttuser"
    std::string mqttPassword;            // "mqttpass"
    std::string mqttTopic = "sentello";  // "mqttthema"

    bool mail = false;                                            // "mail"
    std::string mailServer;                                       // "mailserver"
    int mailPort = 587;                                           // "mailport", 1..65535
    int mailSecurity = static_cast<int>(MailSecurity::StartTls);  // "mailsicherheit", 0..2
    std::string mailUser;                                         // "mailuser"
    std::string mailPassword;                                     // "mailpass"
    std::string mailSender;                                       // "mailabsender"
    std::string mailRecipients;  // "mailempfaenger": addresses separated by commas
    int mailVideoMb = 10;        // "mailvideo": the largest clip attached, 0..100 MB

    bool push = false;                                    // "push"
    std::string pushUrl;                                  // "pushurl"
    std::string pushToken;                                // "pushtoken"
    int pushFormat = static_cast<int>(PushFormat::Ntfy);  // "pushformat", 0..1

    int intervalSeconds = 30;     // "abstand": between two trigger messages, 0..3600 s
    int outboxMb = 100;           // "ausgang": the outbox's bound, 1..10000 MB
    std::string mqttCertificate;  // "mqttzertifikat"
    std::string mailCertificate;  // "mailzertifikat"
    std::string pushCertificate;  // "pushzertifikat"

    bool operator==(const RemoteAlarmOptions&) const = default;
};

// Values outside their ranges are taken at the nearest end; a missing group gives the defaults
// and leaves the file as it is.
RemoteAlarmOptions loadRemoteAlarmOptions(const std::string& settingsFile);
// Writes all its keys into the group, making it when missing: for the user's choice only.
void saveRemoteAlarmOptions(const RemoteAlarmOptions& options, const std::string& settingsFile);
