#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/optionfields.h"
#include "outputs/alertmessage.h"
#include "settings/remotealarmevents.h"
#include "settings/remotealarmoptions.h"

class QGroupBox;

// The fields of the remote alarm's dialog.
using RemoteAlarmFields = OptionFields<RemoteAlarmOptions>;

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
