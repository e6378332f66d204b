#include <QApplication>

#include <cstdio>
#include <optional>

#include "app/startup.h"
#include "app/version.h"
#include "settings/commandline.h"

namespace {

// The exit code for a command line that is answered without running the program.
std::optional<int> answer(const CommandLine& commandLine) {
    if (!commandLine.error.empty()) {
        std::fprintf(stderr, "sentello: %s\n%s", commandLine.error.c_str(), kUsage);
        return kCommandLineError;
    }
    if (commandLine.showHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (commandLine.showVersion) {
        std::printf("Sentello %s\n", versionText);
        return 0;
    }
    return std::nullopt;
}

constexpr const char* kScalingSwitch = "QT_ENABLE_HIGHDPI_SCALING";

}  // namespace

int main(int argc, char* argv[]) {
    // Read before the GUI starts, so that help and version need no display. Arguments that
    // are not understood may be the GUI's own (-platform, -display, ...): they are read again
    // once QApplication has taken those out.
    CommandLine commandLine = parseCommandLine({argv + 1, argv + argc});
    if (commandLine.error.empty()) {
        if (const std::optional<int> code = answer(commandLine))
            return *code;
    }
    // The window is laid out in the screen's own pixels, with fonts sized by its dots per inch
    // (windowFonts): Qt must not scale it by the dots per inch once more. Qt reads the switch
    // only while the application is made; programs started later get it as it was.
    const bool scalingSwitchSet = qEnvironmentVariableIsSet(kScalingSwitch);
    const QByteArray scalingSwitch = qgetenv(kScalingSwitch);
    qputenv(kScalingSwitch, "0");
    QApplication application(argc, argv);
    if (scalingSwitchSet)
        qputenv(kScalingSwitch, scalingSwitch);
    else
        qunsetenv(kScalingSwitch);
    if (!commandLine.error.empty()) {
        commandLine = parseCommandLine({argv + 1, argv + argc});
        if (const std::optional<int> code = answer(commandLine))
            return *code;
    }
    return runSentello(commandLine);
}
