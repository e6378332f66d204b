#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>

#include "detection/cliprequest.h"
#include "media/gstpointer.h"

// Takes the footage a pre-recording hands on: encoded pictures and raw sound, each with the
// time it was taken (footageClockTime). Called on streaming threads, one at a time.
class FootageReceiver {
public:
    virtual ~FootageReceiver() = default;
    virtual void takePicture(GstSample* picture) = 0;
    virtual void takeSound(GstSample* sound) = 0;
};

// The last seconds of the camera, kept so that a clip can begin before its trigger: a branch on
// the camera pipeline's tee encodes every picture as a clip would (and takes the sound when
// asked), and the newest encoded pictures and sound are kept in memory, from a key picture on
// and bounded in bytes. A clip attached to it gets the kept footage first, then everything
// encoded after, from the same encoder: nothing is missing between the two or repeated.
//
// Created and destroyed on the main thread, like a clip branch.
class PreRecording {
public:
    using Setup = PreRecordingSetup;

    // The most that is kept, whatever the seconds: a bound for a camera of huge pictures.
    static constexpr std::size_t kMaxKeptBytes = std::size_t{128} << 20;

    // Builds the branch and starts it; nullptr with the reason in `error` on failure.
    // `soundSource` is taken when the setup asks for sound and it opens.
    static std::unique_ptr<PreRecording> start(GstElement* pipeline, GstElement* tee,
                                               const Setup& setup, const std::string& soundSource,
                                               std::string& error);
    ~PreRecording();

    PreRecording(const PreRecording&) = delete;
    PreRecording& operator=(const PreRecording&) = delete;

    const Setup& setup() const { return m_setup; }
    // The rate of the encoded pictures, which a clip of its footage has.
    int picturesPerSecond() const { return m_picturesPerSecond; }
    // Whether sound has come: only then do its clips have sound.
    bool hasSound() const;

    // Hands `receiver` the kept footage from the key picture nearest to `seconds` before
    // `trigger` (footageClockTime) on, then everything encoded after, until it is detached.
    void attach(std::shared_ptr<FootageReceiver> receiver, GstClockTime trigger);
    void detach();

    // Whether a bus message comes from inside the branch.
    bool owns(GstMessage* message) const;

private:
    struct Shared;

    PreRecording(GstElement* pipeline, GstElement* tee, const Setup& setup, int picturesPerSecond,
                 std::shared_ptr<Shared> shared);

    GstPointer<GstElement> m_pipeline;
    GstPointer<GstElement> m_tee;
    Setup m_setup;
    int m_picturesPerSecond;
    std::shared_ptr<Shared> m_shared;
    GstPointer<GstPad> m_teePad;
};
