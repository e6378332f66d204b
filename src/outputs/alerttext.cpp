#include "outputs/alerttext.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <filesystem>

#include "detection/datetemplate.h"
#include "outputs/base64.h"
#include "outputs/eventlog.h"

namespace {

using Kind = WatchEvent::Kind;

std::string eventWords(const WatchEvent& event) {
    if (event.kind == Kind::WatchSwitched)
        return event.on ? "Aufzeichnungs-Modus eingeschaltet" : "Aufzeichnungs-Modus ausgeschaltet";
    std::string words;
    for (const std::string& field : eventLogFields(event)) {
        if (field.empty())
            continue;
        words += (words.empty() ? "" : ", ") + field;
    }
    return words;
}

}  // namespace

std::string alertTitle(const AlertMessage& message) {
    if (message.test)
        return "Sentello: Testnachricht";
    switch (message.event.kind) {
        case Kind::Trigger:
            return "Sentello: Bewegung erkannt";
        case Kind::ProgramStart:
            return "Sentello: Programm gestartet";
        case Kind::ProgramEnd:
            return "Sentello: Programm beendet";
        default:
            break;
    }
    const std::string words = eventWords(message.event);
    return "Sentello: " + words.substr(0, words.find(", "));
}

std::vector<std::string> alertLines(const AlertMessage& message) {
    std::vector<std::string> lines;
    if (message.test)
        lines.emplace_back("Dies ist eine Testnachricht von Sentello.");
    lines.push_back("Zeit: " + formatDateTemplate(kDateTimeTemplate, message.event.when));
    if (!message.profile.empty())
        lines.push_back("Profil: " + message.profile);
    if (message.event.kind == Kind::Trigger)
        lines.push_back("Veränderter Bildanteil: " + shareText(message.event.changePercent));
    lines.push_back("Ereignis: " + eventWords(message.event));
    if (message.furtherTriggers == 1)
        lines.emplace_back("und 1 weitere Auslösung");
    else if (message.furtherTriggers > 1)
        lines.push_back("und " + std::to_string(message.furtherTriggers) + " weitere Auslösungen");
    return lines;
}

std::string alertEventWord(const AlertMessage& message) {
    if (message.test)
        return "test";
    switch (message.event.kind) {
        case Kind::Trigger:
            return "motion";
        case Kind::ClipFinished:
            return "clip_finished";
        case Kind::ClipFailed:
            return "clip_failed";
        case Kind::ClipDeleted:
            return "clip_deleted";
        case Kind::CameraLost:
            return "camera_lost";
        case Kind::CameraBack:
            return "camera_back";
        case Kind::WatchSwitched:
            return message.event.on ? "watch_on" : "watch_off";
        case Kind::Uploaded:
            return "uploaded";
        case Kind::UploadFailed:
            return "upload_failed";
        case Kind::SettingsNotSaved:
            return "settings_not_saved";
        case Kind::ProgramStart:
            return "program_start";
        case Kind::StartAborted:
            return "start_aborted";
        case Kind::ProgramEnd:
            return "program_end";
        case Kind::RemoteAlarmReport:
            return "remote_alarm";
        case Kind::ClipRepaired:
            return "clip_repaired";
        case Kind::ClipNotRepaired:
            return "clip_not_repaired";
        case Kind::LastRunEndedAbnormally:
            return "last_run_ended_abnormally";
        case Kind::WatchResumed:
            return "watch_resumed";
    }
    return "event";
}

std::string alertClipName(const AlertMessage& message) {
    const WatchEvent& event = message.event;
    const bool namesClip =
        event.kind == Kind::ClipFinished || event.kind == Kind::ClipFailed ||
        event.kind == Kind::ClipDeleted ||
        (event.kind == Kind::Trigger && (event.effect == WatchEvent::Effect::ClipStarted ||
                                         event.effect == WatchEvent::Effect::DuringClip));
    if (!namesClip || event.clipPath.empty())
        return {};
    return std::filesystem::path(event.clipPath).filename().string();
}

std::string alertJson(const AlertMessage& message, bool withPicture) {
    const WatchEvent& event = message.event;
    const bool trigger = !message.test && event.kind == Kind::Trigger;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(message.createdMs);
    const std::string clip = alertClipName(message);
    auto textOrNull = [](const std::string& text) {
        return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
    };
    QJsonObject object{
        {"id", QString::fromStdString(message.id)},
        {"event", QString::fromStdString(alertEventWord(message))},
        {"time", local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate)},
        {"share",
         trigger ? QJsonValue(std::round(event.changePercent * 10.0) / 10.0) : QJsonValue()},
        {"camera", textOrNull(message.profile)},
        {"files", clip.empty() ? QJsonArray() : QJsonArray{QString::fromStdString(clip)}},
        {"count", trigger && event.effect == WatchEvent::Effect::Counted
                      ? QJsonValue(static_cast<qint64>(event.count))
                      : QJsonValue()},
        {"further_triggers", message.furtherTriggers},
        {"reason", textOrNull(message.test ? std::string() : event.reason)},
    };
    if (withPicture)
        object.insert("picture", textOrNull(message.picture.empty() ? std::string()
                                                                    : base64(message.picture)));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}
