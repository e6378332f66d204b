#pragma once

#include <string>
#include <vector>

#include "outputs/alertmessage.h"

// The words of a remote alarm message, the same in every channel.

// "Sentello: Bewegung erkannt" for a trigger, "Sentello: Kamera verloren", "Sentello: Programm
// gestartet" and so on for the other events, "Sentello: Testnachricht" for the dialog's test.
std::string alertTitle(const AlertMessage& message);

// The message in German, a line each: the time, the profile when one is used, the share of the
// picture a trigger changed, what happened in the event log's words, and "und 4 weitere
// Auslösungen" when triggers were held back since the last message.
std::vector<std::string> alertLines(const AlertMessage& message);

// A stable English word for the kind of message, for machines that receive it: "motion",
// "clip_finished", "camera_lost", "watch_on", "test", ...
std::string alertEventWord(const AlertMessage& message);

// The clip an event names, as a file name without its folder; empty when it names none.
std::string alertClipName(const AlertMessage& message);

// The message for machines (a web hook, MQTT), one JSON object: "id", "event" (alertEventWord),
// "time" (ISO 8601 with the offset from UTC, so that a receiver in another zone reads the same
// moment), "share" (a trigger's, to a tenth), "camera" (the profile), "files" (the clip),
// "count", "further_triggers", "reason", and with `withPicture` the JPEG as Base64 in
// "picture"; what the kind does not have is null.
std::string alertJson(const AlertMessage& message, bool withPicture);
