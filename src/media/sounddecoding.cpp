#include "media/sounddecoding.h"

#include <FLAC/stream_decoder.h>

// The header's static callbacks use stdio files, which the decoding from memory never needs.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "media/mediafile.h"

namespace {

constexpr int kPcmFormatTag = 1;
constexpr int kDecodedBitsPerSample = 16;
// The 16 bytes of a PCM format; a shorter "fmt " chunk has no bits per sample.
constexpr std::size_t kMinFormatBytes = 16;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::size_t kOggReadBytes = 64 * 1024;

bool hasTag(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view tag) {
    return offset <= bytes.size() && bytes.size() - offset >= tag.size() &&
           std::memcmp(bytes.data() + offset, tag.data(), tag.size()) == 0;
}

// Callers check that the bytes are there.
std::uint32_t readLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return bytes[offset] | (std::uint32_t{bytes[offset + 1]} << 8);
}

std::uint32_t readLe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return readLe16(bytes, offset) | (readLe16(bytes, offset + 2) << 16);
}

PcmSound decodedFormat(int channels, int samplesPerSecond) {
    PcmSound sound;
    sound.formatTag = kPcmFormatTag;
    sound.channels = channels;
    sound.samplesPerSecond = samplesPerSecond;
    sound.bitsPerSample = kDecodedBitsPerSample;
    sound.blockAlign = channels * kDecodedBitsPerSample / 8;
    sound.bytesPerSecond = samplesPerSecond * sound.blockAlign;
    return sound;
}

// Whole sample frames only, so a cut stream never ends inside a frame.
std::size_t decodedLimit(const PcmSound& sound) {
    return kMaxDecodedBytes - kMaxDecodedBytes % static_cast<std::size_t>(sound.blockAlign);
}

// The file was tagged "RIFF"; only a WAVE with the format chunk first is a sound.
std::optional<PcmSound> parseWave(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kFormatTagOffset = 12;
    constexpr std::size_t kFormatOffset = 20;
    if (!hasTag(bytes, kFormatTagOffset, "fmt ") || bytes.size() < kFormatOffset)
        return std::nullopt;
    const std::size_t formatLength = readLe32(bytes, 16);
    if (formatLength < kMinFormatBytes || bytes.size() - kFormatOffset < formatLength)
        return std::nullopt;

    PcmSound sound;
    sound.formatTag = static_cast<int>(readLe16(bytes, kFormatOffset));
    sound.channels = static_cast<int>(readLe16(bytes, kFormatOffset + 2));
    sound.samplesPerSecond = static_cast<int>(readLe32(bytes, kFormatOffset + 4));
    sound.bytesPerSecond = static_cast<int>(readLe32(bytes, kFormatOffset + 8));
    sound.blockAlign = static_cast<int>(readLe16(bytes, kFormatOffset + 12));
    sound.bitsPerSample = static_cast<int>(readLe16(bytes, kFormatOffset + 14));

    // Chunk lengths are taken as they are, without the pad byte RIFF puts after an odd one.
    // Every step moves on by at least a chunk header, so the walk ends.
    std::size_t position = kFormatOffset + formatLength;
    while (bytes.size() - position >= kChunkHeaderBytes) {
        const std::size_t length = readLe32(bytes, position + 4);
        const std::size_t content = position + kChunkHeaderBytes;
        if (hasTag(bytes, position, "data")) {
            // A length beyond the end of the file (a cut-off recording) gives what is there.
            const std::size_t available = std::min(length, bytes.size() - content);
            const auto data = bytes.subspan(content, available);
            sound.samples.assign(data.begin(), data.end());
            return sound;
        }
        if (bytes.size() - content < length)
            break;
        position = content + length;
    }
    return std::nullopt;
}

struct MemorySource {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;

    std::size_t read(void* destination, std::size_t wanted) {
        const std::size_t count = std::min(wanted, bytes.size() - position);
        if (count > 0)
            std::memcpy(destination, bytes.data() + position, count);
        position += count;
        return count;
    }
};

// Ogg Vorbis

struct VorbisFile {
    OggVorbis_File file{};
    bool open = false;

    VorbisFile() = default;
    VorbisFile(const VorbisFile&) = delete;
    VorbisFile& operator=(const VorbisFile&) = delete;
    ~VorbisFile() {
        if (open)
            ov_clear(&file);
    }
};

std::size_t vorbisRead(void* destination, std::size_t size, std::size_t count, void* source) {
    if (size == 0)
        return 0;
    auto* memory = static_cast<MemorySource*>(source);
    return memory->read(destination, size * std::min(count, memory->bytes.size() / size)) / size;
}

int vorbisSeek(void* source, ogg_int64_t offset, int whence) {
    auto* memory = static_cast<MemorySource*>(source);
    const auto size = static_cast<ogg_int64_t>(memory->bytes.size());
    ogg_int64_t base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<ogg_int64_t>(memory->position);
    else if (whence == SEEK_END)
        base = size;
    else if (whence != SEEK_SET)
        return -1;
    if (offset < -base || offset > size - base)
        return -1;
    memory->position = static_cast<std::size_t>(base + offset);
    return 0;
}

long vorbisTell(void* source) {
    return static_cast<long>(static_cast<MemorySource*>(source)->position);
}

std::optional<PcmSound> decodeVorbis(std::span<const std::uint8_t> bytes) {
    MemorySource source{bytes};
    const ov_callbacks callbacks{vorbisRead, vorbisSeek, nullptr, vorbisTell};
    VorbisFile vorbis;
    if (ov_open_callbacks(&source, &vorbis.file, nullptr, 0, callbacks) != 0)
        return std::nullopt;
    vorbis.open = true;
    const vorbis_info* info = ov_info(&vorbis.file, -1);
    if (info == nullptr || info->channels < 1 || info->rate < 1)
        return std::nullopt;

    PcmSound sound = decodedFormat(info->channels, static_cast<int>(info->rate));
    const std::size_t limit = decodedLimit(sound);
    const auto frameBytes = static_cast<std::size_t>(sound.blockAlign);
    std::size_t decoded = 0;
    // Each hole skips at least one page of the input, so they cannot outnumber its bytes.
    std::size_t holes = 0;
    while (limit - decoded >= frameBytes && holes <= bytes.size()) {
        const std::size_t wanted =
            std::min(kOggReadBytes, limit - decoded) / frameBytes * frameBytes;
        sound.samples.resize(decoded + wanted);
        int link = 0;
        const long result =
            ov_read(&vorbis.file, reinterpret_cast<char*>(sound.samples.data() + decoded),
                    static_cast<int>(wanted), 0, 2, 1, &link);
        if (result == OV_HOLE) {
            ++holes;
            continue;
        }
        if (result <= 0)
            break;
        // A chained stream may go on in another format, which would not fit the buffer.
        const vorbis_info* linkInfo = ov_info(&vorbis.file, link);
        if (linkInfo == nullptr || linkInfo->channels != info->channels ||
            linkInfo->rate != info->rate)
            break;
        decoded += static_cast<std::size_t>(result);
    }
    sound.samples.resize(decoded);
    return sound;
}

// FLAC

struct FlacDecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};
using FlacDecoder = std::unique_ptr<FLAC__StreamDecoder, FlacDecoderDeleter>;

struct FlacState {
    MemorySource source;
    std::optional<PcmSound> sound;  // made by the stream info
    std::size_t limit = 0;
};

FLAC__StreamDecoderReadStatus flacRead(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                       std::size_t* bytes, void* data) {
    *bytes = static_cast<FlacState*>(data)->source.read(buffer, *bytes);
    return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                       : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__bool flacEof(const FLAC__StreamDecoder*, void* data) {
    const MemorySource& source = static_cast<FlacState*>(data)->source;
    return source.position >= source.bytes.size();
}

void flacMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* data) {
    auto* state = static_cast<FlacState*>(data);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || state->sound)
        return;
    const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
    if (info.channels < 1 || info.channels > FLAC__MAX_CHANNELS || info.sample_rate < 1)
        return;
    state->sound =
        decodedFormat(static_cast<int>(info.channels), static_cast<int>(info.sample_rate));
    state->limit = decodedLimit(*state->sound);
}

std::int16_t toSixteenBits(FLAC__int32 sample, unsigned bits) {
    const std::int64_t value = bits >= 16 ? std::int64_t{sample} >> (bits - 16)
                                          : std::int64_t{sample} * (std::int64_t{1} << (16 - bits));
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, INT16_MIN, INT16_MAX));
}

FLAC__StreamDecoderWriteStatus flacWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                         const FLAC__int32* const buffer[], void* data) {
    auto* state = static_cast<FlacState*>(data);
    const unsigned bits = frame->header.bits_per_sample;
    if (!state->sound || static_cast<int>(frame->header.channels) != state->sound->channels ||
        bits < 1 || bits > 32)
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;

    std::vector<std::uint8_t>& samples = state->sound->samples;
    const auto frameBytes = static_cast<std::size_t>(state->sound->blockAlign);
    const std::size_t frames = std::min<std::size_t>(frame->header.blocksize,
                                                     (state->limit - samples.size()) / frameBytes);
    std::size_t at = samples.size();
    samples.resize(at + frames * frameBytes);
    for (std::size_t i = 0; i < frames; ++i) {
        for (unsigned channel = 0; channel < frame->header.channels; ++channel) {
            const auto value = static_cast<std::uint16_t>(toSixteenBits(buffer[channel][i], bits));
            samples[at++] = static_cast<std::uint8_t>(value & 0xFF);
            samples[at++] = static_cast<std::uint8_t>(value >> 8);
        }
    }
    // Stop at the limit rather than decode the rest of a long stream only to drop it.
    return state->limit - samples.size() < frameBytes ? FLAC__STREAM_DECODER_WRITE_STATUS_ABORT
                                                      : FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

// Damaged frames are skipped by the decoder itself.
void flacError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

std::optional<PcmSound> decodeFlac(std::span<const std::uint8_t> bytes) {
    FlacDecoder decoder(FLAC__stream_decoder_new());
    if (!decoder)
        return std::nullopt;
    FlacState state;
    state.source.bytes = bytes;
    if (FLAC__stream_decoder_init_stream(decoder.get(), flacRead, nullptr, nullptr, nullptr,
                                         flacEof, flacWrite, flacMetadata, flacError,
                                         &state) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return std::nullopt;
    // The decoder would also take bare frames found anywhere in the data (an MP3 frame header
    // looks like one); only a stream that begins with its stream info is FLAC.
    if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder.get()) || !state.sound)
        return std::nullopt;
    // Ends false when the limit aborts it or the data are damaged; what was decoded is kept.
    FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
    return std::move(state.sound);
}

}  // namespace

std::optional<PcmSound> decodeSound(std::span<const std::uint8_t> bytes) {
    if (hasTag(bytes, 0, "RIFF"))
        return parseWave(bytes);
    if (auto sound = decodeVorbis(bytes))
        return sound;
    return decodeFlac(bytes);
}

std::optional<PcmSound> loadSoundFile(const std::string& path) {
    const std::optional<MediaFile> file = MediaFile::open(path);
    if (!file)
        return std::nullopt;
    const std::optional<std::vector<std::uint8_t>> bytes = file->readAll(kMaxSoundFileBytes);
    return bytes ? decodeSound(*bytes) : std::nullopt;
}
