#pragma once

#include <string>
#include <vector>

#include "capture/camerasources.h"

struct CommandLine {
    ExtraSources extraSources;
    bool showHelp = false;
    std::string error;  // not empty when the arguments could not be understood
};

// Understands "--demo", "--camera SOURCE" (also "--camera=SOURCE") and "--help".
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

extern const char kUsage[];
