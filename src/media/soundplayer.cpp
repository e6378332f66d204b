#include "media/soundplayer.h"

#include <utility>

SoundPlayer::SoundPlayer(std::string sinkDescription)
    : m_sinkDescription(std::move(sinkDescription)) {}

SoundPlayer::~SoundPlayer() = default;

bool SoundPlayer::load(int slot, const std::string& path) {
    std::optional<PcmSound> sound = loadSoundFile(path);
    if (!sound)
        return false;
    std::unique_ptr<AudioOutput> output = AudioOutput::create(std::move(*sound), m_sinkDescription);
    if (!output)
        return false;
    // Replacing the old output stops and releases it.
    m_slots[slot] = std::move(output);
    return true;
}

bool SoundPlayer::play(int slot) {
    const auto found = m_slots.find(slot);
    return found != m_slots.end() && found->second->play();
}
