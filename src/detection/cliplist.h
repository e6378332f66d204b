#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A clip found in the clip folder at start-up.
struct ListedClip {
    std::string path;
    std::string createdText;  // "dd.mm.yyyy hh:ii:ss", local time
    std::uintmax_t bytes = 0;
};

// The program's clips in `folder` (ending in "/"): files named "*.avi" (any case) whose path
// contains "Video_Sentello_", but for the clips of profiles ("Video_Sentello_<name>_<date>");
// with a profile's `stem` (see clipStem), those whose name holds it followed by a digit. Oldest
// first, each with its creation time (its birth time where the file system keeps one,
// otherwise its last change). A folder that cannot be read gives none.
std::vector<ListedClip> findClips(const std::string& folder, const std::string& stem);

// The clips to delete, oldest first, so that the others take no more than `limitBytes`
// together; `newest` (the clip being recorded, or the one just recorded) is never among them.
std::vector<std::string> clipsBeyondLimit(const std::vector<ListedClip>& clips,
                                          std::uintmax_t limitBytes, const std::string& newest);
