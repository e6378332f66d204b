#include "settings/commandline.h"

#include <optional>
#include <string_view>

#include "settings/settingsfolder.h"

const char kUsage[] =
    "Usage: sentello [--demo] [--camera SOURCE] [--profile NAME] [--watch]\n"
    "       sentello --help | --version\n"
    "  --demo           offer the built-in demo camera in the camera list\n"
    "  --camera SOURCE  offer a video file, a camera device path, a URI (rtsp://,\n"
    "                   http://, https://, file://) or a GStreamer source\n"
    "                   description in the camera list\n"
    "  --profile NAME   keep settings, log and clips apart under this name (letters,\n"
    "                   digits, - and _, beginning with a letter), for a second camera\n"
    "  --watch          go on watching as the last watch did: its camera, without\n"
    "                   the camera list, and its recording mode\n"
    "  --help           show this text\n"
    "  --version        show the program's version\n";

namespace {

// The value of "--name VALUE" or "--name=VALUE" at `i` (which then points at the value);
// nothing when the argument is another one.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments, std::size_t& i,
                                       std::string_view name) {
    const std::string& argument = arguments[i];
    if (argument == name)
        return i + 1 < arguments.size() ? arguments[++i] : std::string();
    if (argument.size() > name.size() && argument.starts_with(name) &&
        argument[name.size()] == '=') {
        return argument.substr(name.size() + 1);
    }
    return std::nullopt;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    for (std::size_t i = 0; i < arguments.size() && commandLine.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--demo") {
            commandLine.demo = true;
        } else if (argument == "--watch") {
            commandLine.watch = true;
        } else if (argument == "--help" || argument == "-h") {
            commandLine.showHelp = true;
        } else if (argument == "--version") {
            commandLine.showVersion = true;
        } else if (const auto camera = optionValue(arguments, i, "--camera")) {
            if (camera->empty())
                commandLine.error = "--camera needs a source";
            commandLine.camera = *camera;
        } else if (const auto profile = optionValue(arguments, i, "--profile")) {
            if (!isProfileName(*profile)) {
                commandLine.error =
                    "--profile needs a name of 1 to 32 letters, digits, - and _, "
                    "beginning with a letter";
            }
            commandLine.profile = *profile;
        } else {
            commandLine.error = "unknown argument: " + argument;
        }
    }
    return commandLine;
}
