#include "aviclips.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace aviclips {

namespace {

std::string run(const std::string& command, int* status = nullptr) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, count);
        const int ended = ::pclose(pipe);
        if (status)
            *status = ended;
    }
    return output;
}

std::uint32_t le32(const Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int byte = 3; byte >= 0; --byte)
        value = value << 8 | std::uint8_t(bytes[at + std::size_t(byte)]);
    return value;
}

void setLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte)
        bytes[at + std::size_t(byte)] = char(value >> (8 * byte));
}

}  // namespace

bool makeClip(const std::filesystem::path& path, const ClipKind& kind, int pictures) {
    const std::string encoder =
        kind.mpeg4 ? "avenc_mpeg4 pass=quant quantizer=5 gop-size=12" : "jpegenc";
    std::string line =
        "gst-launch-1.0 -q videotestsrc pattern=ball num-buffers=" + std::to_string(pictures) +
        " ! video/x-raw,width=160,height=120,framerate=25/1 ! " + encoder +
        " ! avimux name=mux ! filesink location='" + path.string() + "'";
    // Live sources, as a camera and a microphone are, so that the muxer interleaves them.
    if (kind.sound) {
        line.replace(line.find("videotestsrc"), 12, "videotestsrc is-live=true");
        line += " audiotestsrc is-live=true num-buffers=" + std::to_string(pictures) +
                " samplesperbuffer=1764 ! audio/x-raw,format=S16LE,rate=44100,channels=1 ! mux.";
    }
    int status = -1;
    run(line + " 2>&1", &status);
    return status == 0;
}

Bytes readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What the muxer's header says while it writes: sizes and counts as at the clip's start.
Bytes unfinished(Bytes clip) {
    const std::size_t movi = clip.find("movi") - 8;
    setLe32(clip, 4, std::uint32_t(movi + 4));
    setLe32(clip, movi + 4, 4);
    const std::size_t avih = clip.find("avih") + 8;
    setLe32(clip, avih + 12, 0);
    setLe32(clip, avih + 16, 0);
    for (std::size_t strh = clip.find("strh"); strh < movi; strh = clip.find("strh", strh + 4))
        setLe32(clip, strh + 8 + 32, 0);
    if (const std::size_t dmlh = clip.find("dmlh"); dmlh < movi)
        setLe32(clip, dmlh + 8, 0);
    return clip.substr(0, clip.find("idx1"));
}

std::vector<Chunk> chunksOf(const Bytes& clip) {
    std::vector<Chunk> chunks;
    for (std::size_t at = clip.find("movi") + 4; at + 8 <= clip.size();) {
        const Chunk chunk{at, clip.substr(at, 4), le32(clip, at + 4)};
        if (chunk.id == "idx1")
            break;
        chunks.push_back(chunk);
        at = chunk.end();
    }
    return chunks;
}

Played play(const std::filesystem::path& path) {
    Played played;
    const std::string probe =
        run("ffprobe -v error -count_frames -select_streams v:0 "
            "-show_entries stream=nb_frames,nb_read_frames -of csv=p=0 '" +
            path.string() + "'");
    std::sscanf(probe.c_str(), "%d,%d", &played.headerPictures, &played.ffmpegPictures);
    int status = -1;
    const std::string decoded = run("gst-launch-1.0 -v filesrc location='" + path.string() +
                                        "' ! avidemux name=d d.video_0 ! decodebin ! "
                                        "fakesink silent=false sync=false 2>&1",
                                    &status);
    if (status == 0) {
        played.gstreamerPictures = 0;
        for (std::size_t at = decoded.find("chain"); at != std::string::npos;
             at = decoded.find("chain", at + 1)) {
            ++played.gstreamerPictures;
        }
    }
    played.indexed = readAll(path).find("idx1") != std::string::npos;
    return played;
}

}  // namespace aviclips
