// Any bytes as a settings file: opened, read, written and written back, as the program does.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "settings/settingsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/sentello-fuzz-" + std::to_string(::getpid()) + ".prefs";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    SettingsFile settings;
    settings.open(path);
    settings.selectGroup("Optionen");
    settings.readNumber("videolaenge", 5);
    const std::string text = settings.readText("sounddatei", "");
    const std::string bytes = settings.readBytes("server", "");
    settings.selectGroup(std::string(reinterpret_cast<const char*>(data), size < 8 ? size : 8));
    settings.writeText("sounddatei", text);
    settings.writeBytes("server", bytes);
    settings.writeNumber("warten", -3);
    settings.close();
    return 0;
}
