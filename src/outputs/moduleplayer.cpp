#include "outputs/moduleplayer.h"

#include "outputs/alertpipeline.h"

#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <libmodplug/modplug.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kBits = 16;
constexpr int kFrameBytes = kChannels * kBits / 8;
// Rendered per request of the output: about 0.58 s of sound.
constexpr std::size_t kPortionBytes = 102400;
// The top of libmodplug's 1..512 scale.
constexpr unsigned kMasterVolume = 512;

// libmodplug mixes through buffers and settings shared by all its modules, so loading and
// rendering never run at the same time, whichever slot or thread asks.
std::mutex& modplugLock() {
    static std::mutex lock;
    return lock;
}

void applyRendererSettings() {
    static std::once_flag once;
    std::call_once(once, [] {
        ModPlug_Settings settings{};
        ModPlug_GetSettings(&settings);
        settings.mFlags = MODPLUG_ENABLE_OVERSAMPLING | MODPLUG_ENABLE_NOISE_REDUCTION;
        settings.mChannels = kChannels;
        settings.mBits = kBits;
        settings.mFrequency = kRate;
        settings.mResamplingMode = MODPLUG_RESAMPLE_LINEAR;
        settings.mReverbDepth = 0;
        settings.mReverbDelay = 0;
        settings.mBassAmount = 0;
        settings.mBassRange = 0;
        settings.mSurroundDepth = 0;
        settings.mSurroundDelay = 0;
        settings.mLoopCount = -1;
        std::lock_guard guard(modplugLock());
        ModPlug_SetSettings(&settings);
    });
}

struct ModPlugFileDeleter {
    void operator()(ModPlugFile* file) const {
        std::lock_guard guard(modplugLock());
        ModPlug_Unload(file);
    }
};
using ModPlugFilePtr = std::unique_ptr<ModPlugFile, ModPlugFileDeleter>;

struct CapsDeleter {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};

std::optional<std::vector<char>> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return bytes;
}

}  // namespace

class ModulePlayer::Module {
public:
    static std::unique_ptr<Module> create(ModPlugFilePtr file, const std::string& sinkDescription) {
        if (!gst_init_check(nullptr, nullptr, nullptr))
            return nullptr;
        GstAudioInfo info;
        gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16LE, kRate, kChannels, nullptr);
        const std::unique_ptr<GstCaps, CapsDeleter> caps(gst_audio_info_to_caps(&info));
        if (!caps)
            return nullptr;

        // Made before the callbacks point at it, so it never moves under them; from here on it
        // owns the pipeline, which goes before the file.
        std::unique_ptr<Module> module(new Module(std::move(file)));
        GstAppSrcCallbacks callbacks{};
        callbacks.need_data = &Module::onNeedData;
        module->m_pipeline.reset(
            makeAlertPipeline(caps.get(), sinkDescription, callbacks, module.get()));
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
        {
            std::lock_guard guard(modplugLock());
            ModPlug_Seek(m_file.get(), 0);
        }
        m_renderedFrames = 0;
        return gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) !=
               GST_STATE_CHANGE_FAILURE;
    }

private:
    explicit Module(ModPlugFilePtr file) : m_file(std::move(file)) {}

    // Runs on the streaming thread whenever the source wants more.
    static void onNeedData(GstAppSrc* source, guint, gpointer self) {
        static_cast<Module*>(self)->pushNext(source);
    }

    void pushNext(GstAppSrc* source) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kPortionBytes, nullptr);
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
            gst_buffer_unref(buffer);
            return;
        }
        render(map.data, map.size);
        gst_buffer_unmap(buffer, &map);

        const guint64 firstFrame = m_renderedFrames.load();
        const guint64 endFrame = firstFrame + kPortionBytes / kFrameBytes;
        m_renderedFrames = endFrame;
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale_int(firstFrame, GST_SECOND, kRate);
        GST_BUFFER_DURATION(buffer) =
            gst_util_uint64_scale_int(endFrame, GST_SECOND, kRate) - GST_BUFFER_PTS(buffer);
        gst_app_src_push_buffer(source, buffer);
    }

    // The loop count repeats only jumps back inside the song; at the song's end the rest of
    // the portion comes from its start again, so every module repeats without end.
    void render(std::uint8_t* data, std::size_t size) {
        std::lock_guard guard(modplugLock());
        std::size_t filled = 0;
        bool rewound = false;
        while (filled < size) {
            const int read =
                ModPlug_Read(m_file.get(), data + filled, static_cast<int>(size - filled));
            if (read > 0) {
                filled += static_cast<std::size_t>(read);
                rewound = false;
            } else if (!rewound) {
                ModPlug_Seek(m_file.get(), 0);
                rewound = true;
            } else {
                // A song that renders nothing even from its start: silence, not a busy loop.
                std::fill(data + filled, data + size, 0);
                filled = size;
            }
        }
    }

    ModPlugFilePtr m_file;
    // Frames handed to the output since play. The streaming thread's; reset only while it is
    // stopped.
    std::atomic<std::uint64_t> m_renderedFrames{0};
    PipelinePtr m_pipeline;
};

ModulePlayer::ModulePlayer(std::string sinkDescription)
    : m_sinkDescription(std::move(sinkDescription)) {
    applyRendererSettings();
}

ModulePlayer::~ModulePlayer() = default;

bool ModulePlayer::load(int slot, const std::string& path) {
    std::optional<std::vector<char>> bytes = readWholeFile(path);
    if (!bytes || bytes->size() > INT_MAX)
        return false;
    // The old module stops and goes before the new one is made, whatever comes of it.
    m_slots.erase(slot);

    ModPlugFilePtr file;
    {
        std::lock_guard guard(modplugLock());
        file.reset(ModPlug_Load(bytes->data(), static_cast<int>(bytes->size())));
        if (file)
            ModPlug_SetMasterVolume(file.get(), kMasterVolume);
    }
    if (!file)
        return false;
    std::unique_ptr<Module> module = Module::create(std::move(file), m_sinkDescription);
    if (!module)
        return false;
    m_slots[slot] = std::move(module);
    return true;
}

bool ModulePlayer::play(int slot) {
    const auto found = m_slots.find(slot);
    return found != m_slots.end() && found->second->play();
}
