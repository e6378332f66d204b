#pragma once

struct ca_context;

// The desktop's alert sound: the sound theme's bell through libcanberra, and the window
// system's bell where that plays nothing (no sound server, no theme, sounds switched off).
class AlertBeep {
public:
    AlertBeep();
    ~AlertBeep();

    AlertBeep(const AlertBeep&) = delete;
    AlertBeep& operator=(const AlertBeep&) = delete;

    // Returns at once; the sound plays on its own.
    void beep();

private:
    ca_context* m_context = nullptr;
};
