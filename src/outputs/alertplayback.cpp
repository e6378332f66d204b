#include "outputs/alertplayback.h"

AlertPlayback::AlertPlayback(const std::string& audioSinkDescription)
    : m_sounds(audioSinkDescription),
      m_movies(audioSinkDescription),
      m_modules(audioSinkDescription) {}

AlertPlayer AlertPlayback::playAlertFile(const std::string& path) {
    if (m_sounds.load(0, path)) {
        m_sounds.play(0);
        return AlertPlayer::Sound;
    }
    if (m_movies.load(0, path)) {
        m_movies.play(0);
        return AlertPlayer::Movie;
    }
    if (m_modules.load(0, path)) {
        m_modules.play(0);
        return AlertPlayer::Module;
    }
    return AlertPlayer::None;
}
