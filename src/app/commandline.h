#pragma once

#include <string>
#include <vector>

#include "media/camerasources.h"

struct CommandLine {
    ExtraSources extraSources;
    std::string profile;  // empty: none
    bool showHelp = false;
    bool showVersion = false;
    std::string error;  // not empty when the arguments could not be understood
};

// Understands "--demo", "--camera SOURCE", "--profile NAME" (each also as "--option=VALUE"),
// "--help" and "--version".
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

extern const char kUsage[];

// The exit code of a command line that cannot be followed.
inline constexpr int kCommandLineError = 2;
