#pragma once

#include <QString>

class MoviePlayer;

// The movie slot of the own player; the alert uses slot 0.
inline constexpr int kOwnPlayerSlot = 1;

// Plays a video once in a window of its own, titled "Video " and the path, centred, exactly as
// large as the video's picture, and returns when that window is closed. The program's other
// windows take no input meanwhile, and closing one of them closes only the player. The movie
// is stopped when its window closes. Returns without a window when the video does not load
// (only a regular file that GStreamer renders within MoviePlayer::kLoadLimit loads).
void playInOwnPlayer(MoviePlayer& movies, const QString& path);
