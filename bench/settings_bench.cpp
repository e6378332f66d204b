// What a slider step costs the thread that runs the detection: the settings file opened, the
// slot's three values written and the file closed, once waiting for the disk (as every other
// write does) and once handing the text to the settings writer (as a slider step does).

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "settings/settingsfile.h"
#include "settings/settingswriter.h"

namespace {

void sliderStep(benchmark::State& benchState, bool waitForDisk) {
    char folder[] = "/var/tmp/sentello-bench-XXXXXX";
    if (!::mkdtemp(folder)) {
        benchState.SkipWithError("no folder for the settings");
        return;
    }
    const std::string path = std::string(folder) + "/Sentello.prefs";
    std::ofstream(path, std::ios::binary) << "[Optionen]\r\nwarten = 3\r\nvideolaenge = 10\r\n";
    int value = 0;
    for (auto _ : benchState) {
        SettingsFile file;
        file.open(path);
        file.selectGroup("Optionen");
        file.writeNumber("helligkeit0", 128);
        file.writeNumber("empfindlichkeit0", 50);
        file.writeNumber("ausloeser0", ++value % 100 + 1);
        if (waitForDisk)
            file.close();
        else
            file.closeWithoutWaiting();
    }
    SettingsWriter::instance().waitUntilWritten(path);
    std::filesystem::remove_all(folder);
}

BENCHMARK_CAPTURE(sliderStep, waitingForTheDisk, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(sliderStep, handedToTheWriter, false)->Unit(benchmark::kMicrosecond);

}  // namespace
