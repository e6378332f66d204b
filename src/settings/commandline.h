#pragma once

#include <string>
#include <vector>

// What the command line asks for.
struct CommandLine {
    bool demo = false;    // the demo camera offered in the camera list
    std::string camera;   // a source offered in the camera list, as given (see givenSource)
    std::string profile;  // empty: none
    bool watch = false;   // the camera and recording mode of the last watch, without the list
    bool showHelp = false;
    bool showVersion = false;
    std::string error;  // not empty when the arguments could not be understood
};

// Understands "--demo", "--watch", "--camera SOURCE", "--profile NAME" (each also as
// "--option=VALUE"),
// "--help" and "--version".
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

extern const char kUsage[];

// The exit code of a command line that cannot be followed.
inline constexpr int kCommandLineError = 2;
