// Any bytes as a clip found at the start or growing while it is recorded: its state read, its
// repair and its parts. What was mended, and every part, must read as finished.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "detection/avifile.h"

namespace {

const std::string& folder() {
    static const std::string made = [] {
        char pattern[] = "/tmp/avifile-fuzz-XXXXXX";
        return std::string(::mkdtemp(pattern) ? pattern : "/tmp");
    }();
    return made;
}

void writeClip(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string clip = folder() + "/clip.avi";
    const std::string part = folder() + "/part.avi";
    writeClip(clip, data, size);
    aviState(clip);
    for (const bool toEnd : {false, true}) {
        const AviPart written = writeAviPart(clip, 0, part, 0.0, toEnd);
        if (written.outcome == AviPart::Outcome::Written && aviState(part) != AviState::Finished)
            __builtin_trap();  // a part plays alone
        ::unlink(part.c_str());
    }
    if (repairAvi(clip).outcome == AviRepair::Outcome::Repaired &&
        aviState(clip) != AviState::Finished) {
        __builtin_trap();  // a repaired clip is finished
    }
    ::unlink(clip.c_str());
    return 0;
}
