#include "app/commandline.h"

const char kUsage[] =
    "Usage: sentello [--demo] [--camera SOURCE]\n"
    "       sentello --help | --version\n"
    "  --demo           offer the built-in demo camera in the camera list\n"
    "  --camera SOURCE  offer a video file, a camera device path, a URI (rtsp://,\n"
    "                   http://, https://, file://) or a GStreamer source\n"
    "                   description in the camera list\n"
    "  --help           show this text\n"
    "  --version        show the program's version\n";

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    constexpr std::string_view kCameraPrefix = "--camera=";
    for (std::size_t i = 0; i < arguments.size() && commandLine.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        std::string camera;
        if (argument == "--demo") {
            commandLine.extraSources.demo = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            commandLine.showHelp = true;
            continue;
        }
        if (argument == "--version") {
            commandLine.showVersion = true;
            continue;
        }
        if (argument == "--camera") {
            if (i + 1 < arguments.size())
                camera = arguments[++i];
        } else if (argument.starts_with(kCameraPrefix)) {
            camera = argument.substr(kCameraPrefix.size());
        } else {
            commandLine.error = "unknown argument: " + argument;
            continue;
        }
        if (camera.empty())
            commandLine.error = "--camera needs a source";
        commandLine.extraSources.given = camera;
    }
    return commandLine;
}
