#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;

// A setting of the camera picture that takes effect while the camera runs.
struct CameraControl {
    std::string name;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    bool isSwitch = false;             // off (0) or on (1)
    std::vector<std::string> choices;  // a menu: choice i stands for the value minimum + i
};

// The settings a camera offers, read and changed live.
class CameraControls {
public:
    virtual ~CameraControls() = default;
    // With their values of the moment.
    virtual std::vector<CameraControl> list() = 0;
    virtual void set(std::size_t index, int value) = 0;
};

// The controls of a video4linux2 device (brightness, contrast, gain, exposure, white balance
// and whatever else its driver offers), or nullptr when the device does not open.
std::unique_ptr<CameraControls> deviceControls(const std::string& devicePath);

// Brightness, contrast, saturation and hue of a videobalance element in the picture's path,
// for sources that have no controls of their own.
std::unique_ptr<CameraControls> balanceControls(GstElement* balance);
