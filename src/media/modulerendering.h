#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct _ModPlugFile;

// A tracker module (MOD, XM and the other formats libmodplug reads) rendered as 16-bit stereo
// at 44,100 Hz with oversampling and noise reduction, linear resampling, no reverb, bass or
// surround, at full master volume. Any thread may render; libmodplug's shared state is
// guarded inside.
class ModuleRendering {
public:
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;
    static constexpr int kFrameBytes = kChannels * 2;

    // Null when libmodplug does not take the data.
    static std::unique_ptr<ModuleRendering> load(std::span<const std::uint8_t> bytes);
    ~ModuleRendering();

    ModuleRendering(const ModuleRendering&) = delete;
    ModuleRendering& operator=(const ModuleRendering&) = delete;

    // Back to the start of the song.
    void rewind();
    // Fills the buffer with the song; at its end the song starts over, so it repeats without
    // end. A song that renders nothing gives silence.
    void render(std::uint8_t* data, std::size_t size);

private:
    explicit ModuleRendering(_ModPlugFile* file) : m_file(file) {}

    _ModPlugFile* m_file;
};
