#include "testmedia.h"

#include <cstdlib>
#include <string>

namespace testmedia {

using pulseharness::kRate;

void appendLe(Bytes& bytes, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void append(Bytes& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

Bytes chunk(std::string_view tag, const Bytes& content) {
    Bytes bytes;
    append(bytes, tag);
    appendLe(bytes, static_cast<std::uint32_t>(content.size()), 4);
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

void appendBe16(Bytes& bytes, int value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

Bytes wav(int formatTag, int channels, int bits, const Bytes& samples, bool listFirst) {
    const int blockAlign = channels * bits / 8;
    Bytes format;
    appendLe(format, formatTag, 2);
    appendLe(format, channels, 2);
    appendLe(format, kRate, 4);
    appendLe(format, kRate * blockAlign, 4);
    appendLe(format, blockAlign, 2);
    appendLe(format, bits, 2);
    Bytes body;
    append(body, "WAVE");
    std::vector<Bytes> chunks;
    if (listFirst)
        chunks.push_back(chunk("LIST", Bytes{'I', 'N', 'F', 'O'}));
    chunks.push_back(chunk("fmt ", format));
    chunks.push_back(chunk("data", samples));
    for (const Bytes& each : chunks)
        body.insert(body.end(), each.begin(), each.end());
    Bytes bytes;
    append(bytes, "RIFF");
    appendLe(bytes, static_cast<std::uint32_t>(body.size()), 4);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

Bytes mod(const std::vector<std::int8_t>& levels, const std::vector<Note>& notes, int lastRow) {
    Bytes bytes(20, 0);  // title
    for (int sample = 0; sample < 31; ++sample) {
        bytes.insert(bytes.end(), 22, 0);  // name
        const bool used = sample < static_cast<int>(levels.size());
        appendBe16(bytes, used ? kSampleBytes / 2 : 0);  // length in words
        bytes.push_back(0);                              // finetune
        bytes.push_back(used ? 64 : 0);                  // volume
        appendBe16(bytes, 0);                            // loop start
        appendBe16(bytes, used ? kSampleBytes / 2 : 1);  // loop length
    }
    bytes.push_back(1);    // orders
    bytes.push_back(127);  // restart position, unused
    bytes.insert(bytes.end(), 128, 0);
    append(bytes, "M.K.");

    Bytes pattern(kRows * kModChannels * 4, 0);
    for (const Note& note : notes) {
        std::uint8_t* cell = &pattern[note.row * kModChannels * 4];
        cell[0] = static_cast<std::uint8_t>((note.sample & 0xf0) | (kPeriodC2 >> 8));
        cell[1] = static_cast<std::uint8_t>(kPeriodC2 & 0xff);
        cell[2] = static_cast<std::uint8_t>((note.sample & 0x0f) << 4);
    }
    // A pattern break in the second channel: the only order ends there, and so does the song.
    if (lastRow + 1 < kRows)
        pattern[(lastRow * kModChannels + 1) * 4 + 2] = 0x0d;
    bytes.insert(bytes.end(), pattern.begin(), pattern.end());

    for (const std::int8_t level : levels)
        bytes.insert(bytes.end(), kSampleBytes, static_cast<std::uint8_t>(level));
    return bytes;
}

bool writeSilentFlac(const std::filesystem::path& path, std::uint64_t bytes) {
    const std::string line =
        "head -c " + std::to_string(bytes) +
        " /dev/zero | flac --silent --force --force-raw-format --endian=little --sign=signed "
        "--channels=2 --bps=16 --sample-rate=44100 -0 -o '" +
        path.string() + "' - 2>/dev/null";
    return std::system(line.c_str()) == 0;
}

}  // namespace testmedia
