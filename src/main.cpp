#include <QApplication>

#include <cstdio>

#include "app/commandline.h"
#include "app/startup.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const CommandLine commandLine = parseCommandLine({argv + 1, argv + argc});
    if (!commandLine.error.empty()) {
        std::fprintf(stderr, "sentello: %s\n%s", commandLine.error.c_str(), kUsage);
        return 2;
    }
    if (commandLine.showHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return runSentello(commandLine);
}
