#pragma once

#include <cstdint>
#include <vector>

// The built-in demo camera's picture: a room in which a ball rolls and a pendulum swings
// (small motion that moves the level without triggering), and every 10 to 20 seconds either a
// person steps close in front of the camera for two seconds or the light goes out for one and a
// half: large changes that trigger with the default values. The same frame number always gives
// the same picture.
class DemoScene {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kFramesPerSecond = 25;
    static constexpr int kStride = kWidth * 4;

    DemoScene();

    // Writes the frame as blue, green, red, unused bytes, rows top-down, kStride apart.
    void render(std::int64_t frameNumber, std::uint8_t* pixels) const;

private:
    std::vector<std::uint8_t> m_room;
};
