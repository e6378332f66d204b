#pragma once

#include <string>

// The settings folder of the user and of the folder the program runs from:
// home + "/Sentello/" + the program's folder with "/" turned into "_" (spaces and ":" left
// out, one "_" at the end dropped) + "/". Both levels are made when missing; failures are
// left to the reads and writes, which then give defaults and are lost.
std::string prepareSettingsFolder(const std::string& homeFolder, const std::string& programFolder);

// The folder name that stands for the program's folder, e.g. "_usr_local_bin".
std::string programFolderName(const std::string& programFolder);

std::string settingsFilePath(const std::string& settingsFolder);

// The user's home folder, and the folder of the running program file, each ending in "/".
std::string homeFolder();
std::string runningProgramFolder();
