#include "media/cameracontrols.h"

#include <gst/gst.h>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "media/gstpointer.h"

namespace {

int retried(int descriptor, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(descriptor, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

class DeviceControls : public CameraControls {
public:
    explicit DeviceControls(int descriptor) : m_descriptor(descriptor) { enumerate(); }
    ~DeviceControls() override { ::close(m_descriptor); }

    std::vector<CameraControl> list() override {
        for (std::size_t i = 0; i < m_ids.size(); ++i) {
            v4l2_control control{};
            control.id = m_ids[i];
            if (retried(m_descriptor, VIDIOC_G_CTRL, &control) == 0)
                m_controls[i].value = control.value;
        }
        return m_controls;
    }

    void set(std::size_t index, int value) override {
        if (index >= m_ids.size())
            return;
        v4l2_control control{};
        control.id = m_ids[index];
        control.value = value;
        retried(m_descriptor, VIDIOC_S_CTRL, &control);
    }

private:
    void enumerate() {
        v4l2_queryctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (retried(m_descriptor, VIDIOC_QUERYCTRL, &query) == 0) {
            const bool usable =
                !(query.flags &
                  (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_INACTIVE));
            const bool known = query.type == V4L2_CTRL_TYPE_INTEGER ||
                               query.type == V4L2_CTRL_TYPE_BOOLEAN ||
                               query.type == V4L2_CTRL_TYPE_MENU;
            if (usable && known)
                add(query);
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
    }

    void add(const v4l2_queryctrl& query) {
        CameraControl control;
        control.name.assign(reinterpret_cast<const char*>(query.name),
                            strnlen(reinterpret_cast<const char*>(query.name), sizeof query.name));
        control.minimum = query.minimum;
        control.maximum = query.maximum;
        control.step = query.step > 0 ? query.step : 1;
        control.defaultValue = query.default_value;
        control.value = query.default_value;
        control.isSwitch = query.type == V4L2_CTRL_TYPE_BOOLEAN;
        if (query.type == V4L2_CTRL_TYPE_MENU) {
            for (int index = query.minimum; index <= query.maximum; ++index) {
                v4l2_querymenu item{};
                item.id = query.id;
                item.index = static_cast<__u32>(index);
                const bool named = retried(m_descriptor, VIDIOC_QUERYMENU, &item) == 0;
                control.choices.emplace_back(named ? reinterpret_cast<const char*>(item.name)
                                                   : std::to_string(index));
            }
        }
        m_ids.push_back(query.id);
        m_controls.push_back(std::move(control));
    }

    int m_descriptor;
    std::vector<std::uint32_t> m_ids;
    std::vector<CameraControl> m_controls;
};

// videobalance's properties as whole numbers in hundredths.
struct BalanceProperty {
    const char* property;
    const char* name;
    double minimum;
    double maximum;
    double defaultValue;
};
constexpr BalanceProperty kBalanceProperties[] = {
    {"brightness", "Helligkeit", -1.0, 1.0, 0.0},
    {"contrast", "Kontrast", 0.0, 2.0, 1.0},
    {"saturation", "Sättigung", 0.0, 2.0, 1.0},
    {"hue", "Farbton", -1.0, 1.0, 0.0},
};

int hundredths(double value) {
    return static_cast<int>(std::lround(value * 100));
}

class BalanceControls : public CameraControls {
public:
    explicit BalanceControls(GstElement* balance)
        : m_balance(GST_ELEMENT(gst_object_ref(balance))) {}

    std::vector<CameraControl> list() override {
        std::vector<CameraControl> controls;
        for (const BalanceProperty& property : kBalanceProperties) {
            gdouble value = 0;
            g_object_get(m_balance.get(), property.property, &value, nullptr);
            CameraControl control;
            control.name = property.name;
            control.minimum = hundredths(property.minimum);
            control.maximum = hundredths(property.maximum);
            control.defaultValue = hundredths(property.defaultValue);
            control.value = hundredths(value);
            controls.push_back(std::move(control));
        }
        return controls;
    }

    void set(std::size_t index, int value) override {
        if (index < std::size(kBalanceProperties))
            g_object_set(m_balance.get(), kBalanceProperties[index].property, value / 100.0,
                         nullptr);
    }

private:
    GstPointer<GstElement> m_balance;
};

}  // namespace

std::unique_ptr<CameraControls> deviceControls(const std::string& devicePath) {
    const int descriptor = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    return std::make_unique<DeviceControls>(descriptor);
}

std::unique_ptr<CameraControls> balanceControls(GstElement* balance) {
    return balance ? std::make_unique<BalanceControls>(balance) : nullptr;
}
