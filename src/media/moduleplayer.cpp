#include "media/moduleplayer.h"

#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "media/alertpipeline.h"
#include "media/gstinit.h"
#include "media/gstpointer.h"
#include "media/mediafile.h"
#include "media/modulerendering.h"

namespace {

// Rendered per request of the output: about 0.58 s of sound.
constexpr std::size_t kPortionBytes = 102400;
// Far above any tracker module (the largest XM files are a few megabytes).
constexpr std::size_t kMaxModuleFileBytes = 64 * 1024 * 1024;

}  // namespace

class ModulePlayer::Module {
public:
    static std::unique_ptr<Module> create(std::unique_ptr<ModuleRendering> file,
                                          const std::string& sinkDescription) {
        if (!initGStreamer())
            return nullptr;
        GstAudioInfo info;
        gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16LE, ModuleRendering::kRate,
                                  ModuleRendering::kChannels, nullptr);
        const GstPointer<GstCaps> caps(gst_audio_info_to_caps(&info));
        if (!caps)
            return nullptr;

        // Made before the callbacks point at it, so it never moves under them; from here on it
        // owns the pipeline, which goes before the file.
        std::unique_ptr<Module> module(new Module(std::move(file)));
        GstAppSrcCallbacks callbacks{};
        callbacks.need_data = &Module::onNeedData;
        module->m_pipeline =
            makeAlertPipeline(caps.get(), sinkDescription, callbacks, module.get());
        if (!module->m_pipeline)
            return nullptr;
        return module;
    }

    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    // The pipeline goes first (declared last): its streaming thread renders from the file.
    ~Module() = default;

    bool play() {
        // Back to READY waits for the streaming thread, the only one that renders, to stop.
        if (gst_element_set_state(m_pipeline.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
            return false;
        m_file->rewind();
        m_renderedFrames = 0;
        return gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) !=
               GST_STATE_CHANGE_FAILURE;
    }

private:
    explicit Module(std::unique_ptr<ModuleRendering> file) : m_file(std::move(file)) {}

    // Runs on the streaming thread whenever the source wants more.
    static void onNeedData(GstAppSrc* source, guint, gpointer self) {
        static_cast<Module*>(self)->pushNext(source);
    }

    void pushNext(GstAppSrc* source) {
        GstPointer<GstBuffer> buffer(gst_buffer_new_allocate(nullptr, kPortionBytes, nullptr));
        GstMapInfo map;
        if (!gst_buffer_map(buffer.get(), &map, GST_MAP_WRITE))
            return;
        m_file->render(map.data, map.size);
        gst_buffer_unmap(buffer.get(), &map);

        const guint64 firstFrame = m_renderedFrames.load();
        const guint64 endFrame = firstFrame + kPortionBytes / ModuleRendering::kFrameBytes;
        m_renderedFrames = endFrame;
        constexpr int kRate = ModuleRendering::kRate;
        GST_BUFFER_PTS(buffer.get()) = gst_util_uint64_scale_int(firstFrame, GST_SECOND, kRate);
        GST_BUFFER_DURATION(buffer.get()) =
            gst_util_uint64_scale_int(endFrame, GST_SECOND, kRate) - GST_BUFFER_PTS(buffer.get());
        // The source takes the buffer over.
        gst_app_src_push_buffer(source, buffer.release());
    }

    std::unique_ptr<ModuleRendering> m_file;
    // Frames handed to the output since play. The streaming thread's; reset only while it is
    // stopped.
    std::atomic<std::uint64_t> m_renderedFrames{0};
    PipelinePointer m_pipeline;
};

ModulePlayer::ModulePlayer(std::string sinkDescription)
    : m_sinkDescription(std::move(sinkDescription)) {}

ModulePlayer::~ModulePlayer() = default;

bool ModulePlayer::load(int slot, const std::string& path) {
    const std::optional<MediaFile> file = MediaFile::open(path);
    const auto bytes = file ? file->readAll(kMaxModuleFileBytes) : std::nullopt;
    if (!bytes)
        return false;
    // The old module stops and goes before the new one is made, whatever comes of it.
    m_slots.erase(slot);
    std::unique_ptr<ModuleRendering> rendering = ModuleRendering::load(*bytes);
    if (!rendering)
        return false;
    std::unique_ptr<Module> module = Module::create(std::move(rendering), m_sinkDescription);
    if (!module)
        return false;
    m_slots[slot] = std::move(module);
    return true;
}

bool ModulePlayer::play(int slot) {
    const auto found = m_slots.find(slot);
    return found != m_slots.end() && found->second->play();
}
