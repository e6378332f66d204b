#include "media/audiooutput.h"

#include "media/alertpipeline.h"
#include "media/gstinit.h"
#include "media/gstpointer.h"

#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

constexpr int kPcmFormatTag = 1;
constexpr int kFloatFormatTag = 3;
// Beyond this the channels have no default speaker positions to mix down from.
constexpr int kMaxChannels = 8;
// Frames per buffer handed to the pipeline: small pieces keep the conversion's memory low.
constexpr std::size_t kPieceFrames = 4096;

using Samples = std::shared_ptr<const std::vector<std::uint8_t>>;

GstAudioFormat audioFormat(const PcmSound& sound) {
    if (sound.formatTag == kPcmFormatTag) {
        switch (sound.bitsPerSample) {
            case 8:
                return GST_AUDIO_FORMAT_U8;  // 8-bit WAV samples are unsigned
            case 16:
                return GST_AUDIO_FORMAT_S16LE;
            case 24:
                return GST_AUDIO_FORMAT_S24LE;
            case 32:
                return GST_AUDIO_FORMAT_S32LE;
        }
    } else if (sound.formatTag == kFloatFormatTag && sound.bitsPerSample == 32) {
        return GST_AUDIO_FORMAT_F32LE;
    }
    return GST_AUDIO_FORMAT_UNKNOWN;
}

// Buffers keep the samples alive themselves, however long an element holds on to one.
void releaseSamples(gpointer samples) {
    delete static_cast<Samples*>(samples);
}

}  // namespace

struct AudioOutput::Stream {
    Samples samples;
    int rate = 0;
    std::size_t frameBytes = 0;
    // Byte offset of the next piece. The streaming thread's, reset only while it is stopped.
    std::atomic<std::size_t> position{0};
    // Declared last, so its streaming threads stop before the members above go.
    PipelinePointer pipeline;

    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Runs on the streaming thread whenever the source wants more.
    static void onNeedData(GstAppSrc* source, guint, gpointer self) {
        static_cast<Stream*>(self)->pushNext(source);
    }

    void pushNext(GstAppSrc* source) {
        const std::size_t total = samples->size() - samples->size() % frameBytes;
        const std::size_t start = position.load();
        if (start >= total) {
            gst_app_src_end_of_stream(source);
            return;
        }
        const std::size_t size = std::min(kPieceFrames * frameBytes, total - start);
        position = start + size;
        GstBuffer* buffer = gst_buffer_new_wrapped_full(
            GST_MEMORY_FLAG_READONLY, const_cast<std::uint8_t*>(samples->data()), samples->size(),
            start, size, new Samples(samples), &releaseSamples);
        const guint64 firstFrame = start / frameBytes;
        const guint64 endFrame = (start + size) / frameBytes;
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale_int(firstFrame, GST_SECOND, rate);
        GST_BUFFER_DURATION(buffer) =
            gst_util_uint64_scale_int(endFrame, GST_SECOND, rate) - GST_BUFFER_PTS(buffer);
        gst_app_src_push_buffer(source, buffer);
    }
};

AudioOutput::AudioOutput(std::unique_ptr<Stream> stream) : m_stream(std::move(stream)) {}

AudioOutput::~AudioOutput() = default;

std::unique_ptr<AudioOutput> AudioOutput::create(PcmSound sound,
                                                 const std::string& sinkDescription) {
    const GstAudioFormat format = audioFormat(sound);
    if (format == GST_AUDIO_FORMAT_UNKNOWN || sound.channels < 1 || sound.channels > kMaxChannels ||
        sound.samplesPerSecond <= 0 || sound.blockAlign != sound.channels * sound.bitsPerSample / 8)
        return nullptr;
    if (!initGStreamer())
        return nullptr;
    GstAudioInfo info;
    gst_audio_info_set_format(&info, format, sound.samplesPerSecond, sound.channels, nullptr);
    const GstPointer<GstCaps> caps(gst_audio_info_to_caps(&info));
    if (!caps)
        return nullptr;

    auto stream = std::make_unique<Stream>();
    stream->samples = std::make_shared<const std::vector<std::uint8_t>>(std::move(sound.samples));
    stream->rate = sound.samplesPerSecond;
    stream->frameBytes = static_cast<std::size_t>(sound.blockAlign);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &Stream::onNeedData;
    stream->pipeline = makeAlertPipeline(caps.get(), sinkDescription, callbacks, stream.get());
    if (!stream->pipeline)
        return nullptr;
    return std::unique_ptr<AudioOutput>(new AudioOutput(std::move(stream)));
}

bool AudioOutput::play() {
    // Back to READY stops the streaming thread and drops what the device still holds, so the
    // restart never overlaps the earlier play.
    if (gst_element_set_state(m_stream->pipeline.get(), GST_STATE_READY) ==
        GST_STATE_CHANGE_FAILURE)
        return false;
    m_stream->position = 0;
    return gst_element_set_state(m_stream->pipeline.get(), GST_STATE_PLAYING) !=
           GST_STATE_CHANGE_FAILURE;
}
