#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "outputs/alertmessage.h"
#include "settings/remotealarmevents.h"
#include "settings/remotealarmoptions.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;

// The fields of the remote alarm's dialog, each named as its key and bound to its option, so
// that what they hold is read back in one place: when the dialog is accepted, and for a test
// with the values not yet saved.
class RemoteAlarmFields {
public:
    explicit RemoteAlarmFields(const RemoteAlarmOptions& current);

    QCheckBox* flag(const char* key, const QString& label, bool RemoteAlarmOptions::*member);
    QLineEdit* text(const char* key, std::string RemoteAlarmOptions::*member);
    // Shown as dots, never in clear.
    QLineEdit* password(const char* key, std::string RemoteAlarmOptions::*member);
    // `none` is shown for the minimum, when given.
    QSpinBox* number(const char* key, int RemoteAlarmOptions::*member, int minimum, int maximum,
                     const QString& unit = {}, const QString& none = {});
    // The option is the chosen item's index.
    QComboBox* choice(const char* key, int RemoteAlarmOptions::*member, const QStringList& items);

    // What the fields hold now. A text the user left as it was keeps its bytes, even those
    // that are no UTF-8, so that an unchanged dialog changes nothing.
    RemoteAlarmOptions values() const;

private:
    const RemoteAlarmOptions m_current;
    std::vector<std::function<void(RemoteAlarmOptions&)>> m_readers;
};

// Which events each channel sends, as check boxes named "<channel>:<word>".
class RemoteAlarmEventFields {
public:
    explicit RemoteAlarmEventFields(const RemoteAlarmEvents& current);

    // The box of the channel's check boxes.
    QGroupBox* box(AlertChannel channel);
    // A channel whose choice is as it was keeps its words as the file holds them.
    RemoteAlarmEvents values() const;

private:
    const RemoteAlarmEvents m_current;
    std::map<AlertChannel, std::vector<std::pair<const char*, QCheckBox*>>> m_boxes;
};

// The words of a channel's event key, as they are listed there.
std::string& channelEvents(RemoteAlarmEvents& events, AlertChannel channel);
// The key words of the channels: "mail", "push", "mqtt".
const char* channelKey(AlertChannel channel);
