#include "detection/demoscene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

struct Colour {
    std::uint8_t blue, green, red;
};

// Seconds between the starts of two events, repeated for as long as the demo runs.
constexpr std::array<int, 8> kEventGaps{12, 17, 10, 15, 19, 11, 14, 20};
constexpr int kCycleSeconds = [] {
    int sum = 0;
    for (int gap : kEventGaps)
        sum += gap;
    return sum;
}();
constexpr std::int64_t kPersonFrames = 2 * DemoScene::kFramesPerSecond;
constexpr std::int64_t kDarkFrames = 3 * DemoScene::kFramesPerSecond / 2;

enum class Event { None, Person, Dark };

struct EventAt {
    Event event = Event::None;
    std::int64_t framesIn = 0;  // frames since the event began
};

EventAt eventAt(std::int64_t frameNumber) {
    constexpr std::int64_t kFps = DemoScene::kFramesPerSecond;
    constexpr std::int64_t kFirstEvent = kEventGaps[0] * kFps;
    if (frameNumber < kFirstEvent)
        return {};
    // Event i of a cycle starts after the gaps 1..i; the cycle's last gap (index 0 again)
    // leads to the next cycle's first event.
    const std::int64_t inCycle = (frameNumber - kFirstEvent) % (std::int64_t{kCycleSeconds} * kFps);
    std::int64_t start = 0;
    for (std::size_t i = 0; i < kEventGaps.size(); ++i) {
        if (i > 0)
            start += kEventGaps[i] * kFps;
        const std::int64_t framesIn = inCycle - start;
        const Event event = i % 2 == 0 ? Event::Person : Event::Dark;
        const std::int64_t length = event == Event::Person ? kPersonFrames : kDarkFrames;
        if (framesIn >= 0 && framesIn < length)
            return {event, framesIn};
    }
    return {};
}

void fillRect(std::uint8_t* pixels, int x, int y, int width, int height, Colour colour) {
    const int left = std::max(x, 0);
    const int right = std::min(x + width, DemoScene::kWidth);
    const int top = std::max(y, 0);
    const int bottom = std::min(y + height, DemoScene::kHeight);
    for (int row = top; row < bottom; ++row) {
        std::uint8_t* p = pixels + row * DemoScene::kStride + left * 4;
        for (int column = left; column < right; ++column, p += 4) {
            p[0] = colour.blue;
            p[1] = colour.green;
            p[2] = colour.red;
            p[3] = 255;
        }
    }
}

void fillCircle(std::uint8_t* pixels, int centreX, int centreY, int radius, Colour colour) {
    for (int dy = -radius; dy <= radius; ++dy) {
        const int halfWidth = static_cast<int>(std::sqrt(double(radius * radius - dy * dy)));
        fillRect(pixels, centreX - halfWidth, centreY + dy, 2 * halfWidth + 1, 1, colour);
    }
}

void paintRoom(std::uint8_t* pixels) {
    // Wall with a soft vertical gradient, floor boards, a window, a table and a picture frame.
    for (int row = 0; row < 330; ++row) {
        const auto shade = static_cast<std::uint8_t>(200 - row / 6);
        fillRect(
            pixels, 0, row, DemoScene::kWidth, 1,
            {static_cast<std::uint8_t>(shade - 30), static_cast<std::uint8_t>(shade - 10), shade});
    }
    for (int board = 0; board < 8; ++board) {
        const auto tone = static_cast<std::uint8_t>(board % 2 ? 70 : 82);
        fillRect(pixels, 0, 330 + board * 19, DemoScene::kWidth, 19,
                 {static_cast<std::uint8_t>(tone - 30), static_cast<std::uint8_t>(tone + 10),
                  static_cast<std::uint8_t>(tone + 50)});
    }
    fillRect(pixels, 420, 50, 170, 150, {90, 70, 60});
    fillRect(pixels, 428, 58, 154, 134, {235, 205, 160});
    fillRect(pixels, 503, 58, 4, 134, {90, 70, 60});
    fillRect(pixels, 60, 70, 110, 80, {40, 60, 110});
    fillRect(pixels, 70, 80, 90, 60, {80, 150, 120});
    fillRect(pixels, 220, 270, 200, 16, {30, 60, 100});
    fillRect(pixels, 235, 286, 12, 90, {30, 55, 90});
    fillRect(pixels, 393, 286, 12, 90, {30, 55, 90});
}

}  // namespace

DemoScene::DemoScene() : m_room(kStride * kHeight) {
    paintRoom(m_room.data());
}

void DemoScene::render(std::int64_t frameNumber, std::uint8_t* pixels) const {
    std::memcpy(pixels, m_room.data(), m_room.size());
    const double seconds = double(frameNumber) / kFramesPerSecond;

    // A light ball rolling back and forth across the floor, 8 pixels a frame.
    const int span = kWidth - 80;
    const int travelled = static_cast<int>((frameNumber * 8) % (2 * span));
    const int ballX = 40 + (travelled < span ? travelled : 2 * span - travelled);
    fillCircle(pixels, ballX, 420, 18, {200, 240, 250});

    // A pendulum under the picture frame, one swing in two seconds.
    const double angle = 0.35 * std::sin(seconds * M_PI);
    const int bobX = 115 + static_cast<int>(std::lround(90 * std::sin(angle)));
    const int bobY = 150 + static_cast<int>(std::lround(90 * std::cos(angle)));
    fillCircle(pixels, bobX, bobY, 14, {40, 40, 40});

    const EventAt now = eventAt(frameNumber);
    if (now.event == Event::Person) {
        // Close to the lens: a dark coat and a head, swaying a little while standing there.
        const int x = 160 + static_cast<int>(now.framesIn / 5);
        fillCircle(pixels, x + 150, 95, 62, {120, 150, 190});
        fillRect(pixels, x, 150, 300, 330, {70, 45, 40});
    } else if (now.event == Event::Dark) {
        for (std::size_t i = 0; i < m_room.size(); i += 4) {
            pixels[i] = static_cast<std::uint8_t>(pixels[i] * 2 / 5);
            pixels[i + 1] = static_cast<std::uint8_t>(pixels[i + 1] * 2 / 5);
            pixels[i + 2] = static_cast<std::uint8_t>(pixels[i + 2] * 2 / 5);
        }
    }
}
