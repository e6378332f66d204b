#pragma once

#include <string>
#include <vector>

// A clip found in the clip folder at start-up.
struct ListedClip {
    std::string path;
    std::string createdText;  // "dd.mm.yyyy hh:ii:ss", local time
};

// The program's clips in `folder` (ending in "/"): files named "*.avi" (any case) whose path
// contains "Video_Sentello_", oldest first, each with its creation time (its birth time where
// the file system keeps one, otherwise its last change). A folder that
// cannot be read gives none.
std::vector<ListedClip> findClips(const std::string& folder);
