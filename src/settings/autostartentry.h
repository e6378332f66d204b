#pragma once

#include <optional>
#include <string>

// The desktop's autostart entry that starts the watch at login: "sentello.desktop", with a
// profile "sentello-<profile>.desktop", in $XDG_CONFIG_HOME/autostart (by default
// ~/.config/autostart). It runs this program with "--watch" and the profile, and names the
// settings folder it belongs to in a key of its own: a file there without that line is
// someone else's, and is never written over or removed.

// The folder, ending in "/": $XDG_CONFIG_HOME when it is an absolute path, else the home
// folder's ".config", each with "autostart".
std::string autostartFolder();
std::string autostartFileName(const std::string& profile);

// One argument of an Exec line as desktops read it: quoted when it holds a reserved character,
// with """, "`", "$" and "\" escaped inside the quotes, "%" as "%%", and then escaped as any
// string value ("\" as "\\"). None for an argument with a control character (a line break),
// which no Exec line can hold.
std::optional<std::string> execArgument(const std::string& argument);

// The entry's text; none when the program's path or the profile cannot stand in an Exec line.
std::optional<std::string> autostartEntryText(const std::string& programPath,
                                              const std::string& profile,
                                              const std::string& settingsFolder);

// Put in place whole (written beside it, synced, renamed over it), unless what stands at
// `path` is no entry of this settings folder. The reason when it is not written.
std::optional<std::string> writeAutostartEntry(const std::string& path, const std::string& text,
                                               const std::string& settingsFolder);
// Removed when it is this settings folder's entry; the reason when something else stands there
// and stays. Nothing there is no failure.
std::optional<std::string> removeAutostartEntry(const std::string& path,
                                                const std::string& settingsFolder);
