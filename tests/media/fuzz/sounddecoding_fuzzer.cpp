// Any bytes as an alert sound file: a WAV parsed, or offered to the Ogg Vorbis and FLAC
// decoders, as the sound player does.

#include <cstdint>
#include <span>

#include "media/sounddecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto sound = decodeSound(std::span<const std::uint8_t>(data, size));
    if (sound && sound->samples.size() > kMaxDecodedBytes)
        __builtin_trap();
    return 0;
}
