#include "media/alertplayback.h"

AlertPlayback::AlertPlayback(const std::string& audioSinkDescription)
    : m_sounds(audioSinkDescription),
      m_movies(audioSinkDescription),
      m_modules(audioSinkDescription) {}

void AlertPlayback::playAlertFile(const std::string& path, AlertTaken taken) {
    const auto tell = [taken = std::move(taken)](AlertPlayer player) {
        if (taken)
            taken(player);
    };
    if (m_sounds.load(0, path)) {
        m_sounds.play(0);
        tell(AlertPlayer::Sound);
        return;
    }
    m_movies.load(0, path, [this, path, tell](bool loaded) {
        if (loaded) {
            m_movies.play(0);
            tell(AlertPlayer::Movie);
        } else if (m_modules.load(0, path)) {
            m_modules.play(0);
            tell(AlertPlayer::Module);
        } else {
            tell(AlertPlayer::None);
        }
    });
}
