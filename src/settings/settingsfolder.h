#pragma once

#include <string>

// The settings folder of the user and of the folder the program runs from:
// home + "/Sentello/" + the program's folder with "/" turned into "_" (spaces and ":" left
// out, one "_" at the end dropped) + "/". Both levels are made when missing; failures are
// left to the reads and writes, which then give defaults and are lost.
// With a profile, its own folder inside that one: <that folder> + profile + "/".
std::string prepareSettingsFolder(const std::string& homeFolder, const std::string& programFolder,
                                  const std::string& profile = {});

// Whether a profile name may name a folder and a part of clip names: 1 to 32 letters, digits,
// "-" and "_", beginning with a letter.
bool isProfileName(const std::string& name);

// The beginning of the clips' file names: "Video_Sentello_", with a profile
// "Video_Sentello_<profile>_".
std::string clipStem(const std::string& profile);

// The folder name that stands for the program's folder, e.g. "_usr_local_bin".
std::string programFolderName(const std::string& programFolder);

std::string settingsFilePath(const std::string& settingsFolder);

// The user's home folder, and the folder of the running program file, each ending in "/".
std::string homeFolder();
std::string runningProgramFolder();
// The running program file itself; empty where it cannot be told.
std::string runningProgramPath();
