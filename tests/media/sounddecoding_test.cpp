#include "media/sounddecoding.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "../support/testmedia.h"
#include "../tempfolder.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void appendLe(Bytes& bytes, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void append(Bytes& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

void append(Bytes& bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
}

struct WavFormat {
    int formatTag = 1;
    int channels = 2;
    int rate = 44100;
    int bits = 16;

    int blockAlign() const { return channels * ((bits + 7) / 8); }
};

// The format chunk's content, with `extra` bytes after the 16 of a PCM format.
Bytes formatContent(const WavFormat& format, int extra = 0) {
    Bytes content;
    appendLe(content, format.formatTag, 2);
    appendLe(content, format.channels, 2);
    appendLe(content, format.rate, 4);
    appendLe(content, format.rate * format.blockAlign(), 4);
    appendLe(content, format.blockAlign(), 2);
    appendLe(content, format.bits, 2);
    content.resize(content.size() + extra);
    return content;
}

Bytes chunk(std::string_view tag, const Bytes& content) {
    Bytes bytes;
    append(bytes, tag);
    appendLe(bytes, static_cast<std::uint32_t>(content.size()), 4);
    append(bytes, content);
    return bytes;
}

Bytes riff(std::string_view form, const std::vector<Bytes>& chunks) {
    Bytes body;
    append(body, form);
    for (const Bytes& each : chunks)
        append(body, each);
    Bytes bytes;
    append(bytes, "RIFF");
    appendLe(bytes, static_cast<std::uint32_t>(body.size()), 4);
    append(bytes, body);
    return bytes;
}

Bytes wav(const WavFormat& format, const Bytes& samples) {
    return riff("WAVE", {chunk("fmt ", formatContent(format)), chunk("data", samples)});
}

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::vector<std::int16_t> sixteenBitSamples(const Bytes& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

// A tone per channel with some noise: not silence, and not trivially predictable.
Bytes testSignal(const WavFormat& format, int frames) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-300, 300);
    const int bytesPerSample = format.bits / 8;
    const double fullScale = std::ldexp(1.0, format.bits - 1) - 1;
    const double noiseStep = std::ldexp(1.0, format.bits - 16);
    Bytes bytes;
    for (int frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < format.channels; ++channel) {
            const double tone = 0.4 * std::sin(2 * std::numbers::pi * (330.0 + 110 * channel) *
                                               frame / format.rate);
            auto value = static_cast<std::int32_t>(tone * fullScale + noise(random) * noiseStep);
            if (format.bits == 8)
                value += 128;  // 8-bit WAV samples are unsigned
            appendLe(bytes, static_cast<std::uint32_t>(value), bytesPerSample);
        }
    }
    return bytes;
}

double rms(const std::vector<std::int16_t>& samples) {
    double sum = 0;
    for (std::int16_t sample : samples)
        sum += static_cast<double>(sample) * sample;
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

void expectFormat(const PcmSound& sound, int formatTag, int channels, int rate, int bits) {
    EXPECT_EQ(sound.formatTag, formatTag);
    EXPECT_EQ(sound.channels, channels);
    EXPECT_EQ(sound.samplesPerSecond, rate);
    EXPECT_EQ(sound.bitsPerSample, bits);
    EXPECT_EQ(sound.blockAlign, channels * ((bits + 7) / 8));
    EXPECT_EQ(sound.bytesPerSecond, rate * sound.blockAlign);
}

// WAV files

TEST(WavSoundTest, KeepsTheFileFormatAndItsSamplesAsTheyAre) {
    const WavFormat formats[] = {
        {1, 1, 11025, 8},
        {1, 2, 44100, 16},
        {1, 2, 96000, 24},
        {3, 1, 48000, 32},  // float samples are not converted either
    };
    for (const WavFormat& format : formats) {
        SCOPED_TRACE(testing::Message() << format.bits << " bits, " << format.channels << " ch");
        const Bytes samples = randomBytes(format.blockAlign() * 1001, format.bits);
        const auto sound = decodeSound(wav(format, samples));
        ASSERT_TRUE(sound);
        expectFormat(*sound, format.formatTag, format.channels, format.rate, format.bits);
        EXPECT_EQ(sound->samples, samples);
    }
}

TEST(WavSoundTest, ChunksAfterTheFormatAreSkippedUpToTheData) {
    const WavFormat format;
    const Bytes samples = randomBytes(400, 1);
    // The list holds the text "data" with a length, which must not be taken for the chunk.
    Bytes list;
    append(list, "INFOdata");
    appendLe(list, 4, 4);
    append(list, "fake");
    for (int extra : {0, 2, 22}) {
        SCOPED_TRACE(testing::Message() << extra << " bytes after the PCM format");
        const auto sound = decodeSound(riff(
            "WAVE", {chunk("fmt ", formatContent(format, extra)), chunk("LIST", list),
                     chunk("fact", {0x64, 0, 0, 0}), chunk("data", samples), chunk("LIST", list)}));
        ASSERT_TRUE(sound);
        EXPECT_EQ(sound->samples, samples);
        EXPECT_EQ(sound->bitsPerSample, 16);
    }
}

TEST(WavSoundTest, FormatChunkMustComeFirst) {
    const WavFormat format;
    const Bytes samples = randomBytes(400, 2);
    for (std::string_view first : {"LIST", "fact", "JUNK"}) {
        SCOPED_TRACE(first);
        EXPECT_FALSE(decodeSound(
            riff("WAVE", {chunk(first, {'I', 'N', 'F', 'O'}), chunk("fmt ", formatContent(format)),
                          chunk("data", samples)})));
    }
}

TEST(WavSoundTest, WithoutCompleteFormatAndDataThereIsNoSound) {
    const WavFormat format;
    const Bytes fmt = chunk("fmt ", formatContent(format));
    EXPECT_FALSE(decodeSound(riff("WAVE", {fmt})));
    EXPECT_FALSE(decodeSound(riff("WAVE", {fmt, chunk("LIST", randomBytes(30, 3))})));

    // A chunk that claims more than the file holds hides everything after it.
    Bytes overlong = chunk("LIST", randomBytes(30, 4));
    overlong[4] = 0xFF;
    EXPECT_FALSE(decodeSound(riff("WAVE", {fmt, overlong, chunk("data", randomBytes(40, 5))})));

    // Format chunks too short for a PCM format, or longer than the file.
    Bytes shortFormat = formatContent(format);
    shortFormat.resize(14);
    EXPECT_FALSE(decodeSound(riff("WAVE", {chunk("fmt ", shortFormat), chunk("data", {1, 2})})));
    Bytes cutFormat = riff("WAVE", {chunk("fmt ", formatContent(format))});
    cutFormat.resize(30);
    EXPECT_FALSE(decodeSound(cutFormat));

    // Headers cut anywhere before the format's length.
    const Bytes whole = wav(format, randomBytes(8, 6));
    for (std::size_t size = 0; size < 20; ++size)
        EXPECT_FALSE(decodeSound(std::span(whole).first(size))) << size << " bytes";
}

TEST(WavSoundTest, DataLongerThanTheFileIsCutToWhatIsThere) {
    const WavFormat format{1, 1, 8000, 8};
    const Bytes samples = randomBytes(100, 7);
    for (std::uint32_t claimed : {1000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(claimed);
        Bytes file = wav(format, samples);
        const std::size_t lengthAt = file.size() - samples.size() - 4;
        file[lengthAt] = static_cast<std::uint8_t>(claimed);
        file[lengthAt + 1] = static_cast<std::uint8_t>(claimed >> 8);
        file[lengthAt + 2] = static_cast<std::uint8_t>(claimed >> 16);
        file[lengthAt + 3] = static_cast<std::uint8_t>(claimed >> 24);
        const auto sound = decodeSound(file);
        ASSERT_TRUE(sound);
        EXPECT_EQ(sound->samples, samples);
    }
}

// Neither WAV, Ogg Vorbis nor FLAC

TEST(NotASoundTest, OtherDataIsRefused) {
    EXPECT_FALSE(decodeSound({}));
    EXPECT_FALSE(decodeSound(randomBytes(64 * 1024, 8)));

    // An MP3: ID3 tag, then frames whose sync word also looks like a FLAC frame's.
    Bytes mp3;
    append(mp3, "ID3");
    append(mp3, {4, 0, 0, 0, 0, 0, 10});
    append(mp3, randomBytes(10, 9));
    for (int frame = 0; frame < 50; ++frame) {
        append(mp3, {0xFF, 0xFB, 0x90, 0x64});
        append(mp3, randomBytes(413, 10 + frame));
    }
    EXPECT_FALSE(decodeSound(mp3));

    // Only the "OggS" and "fLaC" signatures, with nothing behind them.
    Bytes ogg;
    append(ogg, "OggS");
    append(ogg, randomBytes(60, 11));
    EXPECT_FALSE(decodeSound(ogg));
    Bytes flac;
    append(flac, "fLaC");
    append(flac, randomBytes(60, 12));
    EXPECT_FALSE(decodeSound(flac));
}

// Ogg Vorbis and FLAC made from WAV files by the usual tools.
class CompressedSoundTest : public testing::Test {
protected:
    static bool haveTool(const std::string& name) {
        return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
    }
    fs::path write(const std::string& name, const Bytes& bytes) const {
        const fs::path path = m_folder / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static Bytes read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    // The WAV compressed by `command`, which is given the input and output file names.
    Bytes compress(const Bytes& wavFile, const std::string& command) const {
        const fs::path in = write("in.wav", wavFile);
        const fs::path out = m_folder / "out";
        const std::string line = command + " -o '" + out.string() + "' '" + in.string() + "'";
        EXPECT_EQ(std::system(line.c_str()), 0) << line;
        return read(out);
    }
    Bytes flac(const Bytes& wavFile) const { return compress(wavFile, "flac --silent --force"); }
    Bytes oggVorbis(const Bytes& wavFile) const { return compress(wavFile, "oggenc --quiet"); }

    TempFolder m_temp;
    const fs::path& m_folder = m_temp.path();
};

#define REQUIRE_TOOL(name) \
    if (!haveTool(name))   \
    GTEST_SKIP() << name << " is not installed"

TEST_F(CompressedSoundTest, FlacDecodesToExactlyTheOriginalSamples) {
    REQUIRE_TOOL("flac");
    const WavFormat format{1, 2, 44100, 16};
    const Bytes samples = testSignal(format, 44100);
    const auto sound = decodeSound(flac(wav(format, samples)));
    ASSERT_TRUE(sound);
    expectFormat(*sound, 1, 2, 44100, 16);
    EXPECT_EQ(sound->samples, samples);
}

TEST_F(CompressedSoundTest, FlacOfOtherBitDepthsBecomesSixteenBits) {
    REQUIRE_TOOL("flac");
    {
        SCOPED_TRACE("24 bits: the high 16 bits of each sample");
        const WavFormat format{1, 1, 48000, 24};
        const Bytes samples = testSignal(format, 4800);
        const auto sound = decodeSound(flac(wav(format, samples)));
        ASSERT_TRUE(sound);
        expectFormat(*sound, 1, 1, 48000, 16);
        ASSERT_EQ(sound->samples.size(), samples.size() / 3 * 2);
        for (std::size_t i = 0; i < samples.size() / 3; ++i) {
            // Bytes 1 and 2 of a 24-bit little-endian sample are its high 16 bits.
            ASSERT_EQ(sound->samples[2 * i], samples[3 * i + 1]) << i;
            ASSERT_EQ(sound->samples[2 * i + 1], samples[3 * i + 2]) << i;
        }
    }
    {
        SCOPED_TRACE("8 bits: unsigned WAV samples become signed, in the high byte");
        const WavFormat format{1, 2, 8000, 8};
        const Bytes samples = testSignal(format, 800);
        const auto sound = decodeSound(flac(wav(format, samples)));
        ASSERT_TRUE(sound);
        expectFormat(*sound, 1, 2, 8000, 16);
        const std::vector<std::int16_t> decoded = sixteenBitSamples(sound->samples);
        ASSERT_EQ(decoded.size(), samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(decoded[i], (samples[i] - 128) * 256) << i;
    }
}

TEST_F(CompressedSoundTest, CutFlacGivesTheSamplesBeforeTheCut) {
    REQUIRE_TOOL("flac");
    const WavFormat format{1, 2, 44100, 16};
    const Bytes samples = testSignal(format, 2 * 44100);
    Bytes file = flac(wav(format, samples));
    file.resize(file.size() / 2);
    const auto sound = decodeSound(file);
    ASSERT_TRUE(sound);
    ASSERT_GT(sound->samples.size(), samples.size() / 4);
    ASSERT_LT(sound->samples.size(), samples.size());
    EXPECT_EQ(sound->samples.size() % 4, 0u);
    EXPECT_TRUE(std::equal(sound->samples.begin(), sound->samples.end(), samples.begin()));
}

TEST_F(CompressedSoundTest, FlacLongerThanTheLimitIsCutAtTheLimit) {
    REQUIRE_TOOL("flac");
    // One second longer than the limit.
    const fs::path out = m_folder / "long.flac";
    ASSERT_TRUE(testmedia::writeSilentFlac(out, kMaxDecodedBytes + 44100 * 4));
    const auto sound = decodeSound(read(out));
    ASSERT_TRUE(sound);
    expectFormat(*sound, 1, 2, 44100, 16);
    EXPECT_EQ(sound->samples.size(), kMaxDecodedBytes);
}

TEST_F(CompressedSoundTest, OggVorbisDecodesWithTheStreamsChannelsAndRate) {
    REQUIRE_TOOL("oggenc");
    for (const WavFormat format : {WavFormat{1, 2, 44100, 16}, WavFormat{1, 1, 22050, 16}}) {
        SCOPED_TRACE(testing::Message() << format.channels << " ch, " << format.rate << " Hz");
        const int frames = format.rate;
        const Bytes samples = testSignal(format, frames);
        const auto sound = decodeSound(oggVorbis(wav(format, samples)));
        ASSERT_TRUE(sound);
        expectFormat(*sound, 1, format.channels, format.rate, 16);
        const auto decodedFrames = static_cast<double>(sound->samples.size() / sound->blockAlign);
        EXPECT_NEAR(decodedFrames, frames, frames * 0.01);
        // Lossy, but as loud as the original: swapped bytes or a wrong sign would not be.
        const double original = rms(sixteenBitSamples(samples));
        EXPECT_NEAR(rms(sixteenBitSamples(sound->samples)), original, original * 0.2);
    }
}

TEST_F(CompressedSoundTest, RiffThatIsNotAWaveIsNeverOfferedToTheDecoders) {
    REQUIRE_TOOL("flac");
    const WavFormat format{1, 1, 8000, 16};
    const Bytes stream = flac(wav(format, testSignal(format, 800)));
    // The FLAC decoder finds a stream behind other bytes, as a control shows.
    Bytes control;
    append(control, "JUNK");
    append(control, randomBytes(12, 13));
    append(control, stream);
    ASSERT_TRUE(decodeSound(control));

    EXPECT_FALSE(decodeSound(riff("AVI ", {chunk("LIST", stream)})));
    EXPECT_FALSE(decodeSound(riff("WAVE", {chunk("LIST", stream)})));
}

TEST_F(CompressedSoundTest, LoadSoundFileReadsTheWholeFile) {
    const WavFormat format{1, 2, 22050, 16};
    const Bytes samples = testSignal(format, 100'000);
    const auto sound = loadSoundFile(write("alarm.wav", wav(format, samples)).string());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->samples, samples);

    EXPECT_FALSE(loadSoundFile((m_folder / "missing.wav").string()));
    EXPECT_FALSE(loadSoundFile(m_folder.string()));
    EXPECT_FALSE(loadSoundFile(""));
    // A device that never ends is not read.
    EXPECT_FALSE(loadSoundFile("/dev/zero"));
}

}  // namespace
