#pragma once

#include <string>
#include <vector>

#include "media/camerasources.h"

struct CommandLine {
    ExtraSources extraSources;
    bool showHelp = false;
    bool showVersion = false;
    std::string error;  // not empty when the arguments could not be understood
};

// Understands "--demo", "--camera SOURCE" (also "--camera=SOURCE"), "--help" and "--version".
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

extern const char kUsage[];

// The exit code of a command line that cannot be followed.
inline constexpr int kCommandLineError = 2;
