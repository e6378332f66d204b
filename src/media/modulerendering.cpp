#include "media/modulerendering.h"

#include <libmodplug/modplug.h>

#include <algorithm>
#include <climits>
#include <mutex>

namespace {

// The top of libmodplug's 1..512 scale.
constexpr unsigned kMasterVolume = 512;

// libmodplug mixes through buffers and settings shared by all its modules, so loading and
// rendering never run at the same time, whichever module or thread asks.
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
        settings.mChannels = ModuleRendering::kChannels;
        settings.mBits = 16;
        settings.mFrequency = ModuleRendering::kRate;
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

}  // namespace

std::unique_ptr<ModuleRendering> ModuleRendering::load(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX)
        return nullptr;
    applyRendererSettings();
    std::lock_guard guard(modplugLock());
    ModPlugFile* file = ModPlug_Load(bytes.data(), static_cast<int>(bytes.size()));
    if (!file)
        return nullptr;
    ModPlug_SetMasterVolume(file, kMasterVolume);
    return std::unique_ptr<ModuleRendering>(new ModuleRendering(file));
}

ModuleRendering::~ModuleRendering() {
    std::lock_guard guard(modplugLock());
    ModPlug_Unload(m_file);
}

void ModuleRendering::rewind() {
    std::lock_guard guard(modplugLock());
    ModPlug_Seek(m_file, 0);
}

// The loop count repeats only jumps back inside the song; at the song's end the rest of the
// buffer comes from its start again.
void ModuleRendering::render(std::uint8_t* data, std::size_t size) {
    std::lock_guard guard(modplugLock());
    std::size_t filled = 0;
    bool rewound = false;
    while (filled < size) {
        const int read = ModPlug_Read(m_file, data + filled, static_cast<int>(size - filled));
        if (read > 0) {
            filled += static_cast<std::size_t>(read);
            rewound = false;
        } else if (!rewound) {
            ModPlug_Seek(m_file, 0);
            rewound = true;
        } else {
            // Nothing even from the start: silence, not a busy loop.
            std::fill(data + filled, data + size, 0);
            filled = size;
        }
    }
}
