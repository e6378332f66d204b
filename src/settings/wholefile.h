#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

// Puts `bytes` in place of the file at `path` as a whole, so that a crash, a full disk or a
// reader at the wrong moment finds the old file or the new one, never half of one: the bytes
// go to a new file beside it under a name nobody else can have made or planted (mkstemp: mode
// 0600, never an existing file or link), are synced, given `mode` and renamed over `path`.
// Only where the folder takes no new file while the file itself may be written is the file
// rewritten in place. Something at `path` that is no regular file (a folder, a FIFO, a
// device) is left alone, as is the old file whenever a step fails. The reason when it fails.
std::optional<std::string> writeWholeFile(const std::string& path, std::string_view bytes,
                                          mode_t mode);

// The bytes of the regular file at `path` itself (never what a link names, never a FIFO or a
// device), when it holds at most `maxBytes`; none otherwise.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes);
