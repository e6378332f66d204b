#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>

#include "detection/cliprequest.h"
#include "media/gstpointer.h"

// What a clip branch and the pre-recording build alike, so that footage from before a trigger
// joins a clip in the clip's own format.

// The pictures a second the tee delivers; 0 for a source that sends pictures when it has them
// (a network camera: framerate 0/1), whose clips get kSteadyRate.
int deliveredRate(GstElement* tee);

// Gives the pictures of a variable-rate source a steady rate, which an AVI needs: pictures are
// repeated or dropped by their times.
inline constexpr int kSteadyPicturesPerSecond = 25;
std::string steadyRate();

// The encoder for the compression, as a gst-launch description.
std::string encoderDescription(const ClipCompression& compression);

// Gives each picture the encoder makes the time of the picture it was made from, and its stream
// the segment the encoder was given. The encoders make one picture of each they take, in order;
// the MPEG-4 encoder's carry no usable time (an invalid one far beyond any other, in a segment
// moved a thousand hours on), so a muxer that writes by time held them all back until the end.
// A probe on the encoder's input that drops a picture must come before this one.
void keepPictureTimes(GstElement* encoder);

// The clip's compression on this machine: without the MPEG-4 encoder a clip is still better in
// Motion-JPEG than not at all.
ClipCompression availableCompression(const ClipCompression& compression);

// The first element of a branch on the tee, named "entry": raw pictures wait there while the
// branch is busy; when it falls behind, the oldest go, never the live picture.
std::string pictureEntryQueue();

// Gives the bin a ghost pad "sink" for the input of its element "entry".
void exposeEntry(GstElement* bin);

// The data of a probe or an appsink's callbacks: a weak reference to the state of the branch
// they work for. The branch's bin holds its elements, and so this data, and the state holds the
// bin: a strong reference here would keep both alive for ever.
template <typename State>
struct WeakState {
    static gpointer make(const std::shared_ptr<State>& state) {
        return new std::weak_ptr<State>(state);
    }
    static std::shared_ptr<State> lock(gpointer data) {
        return static_cast<std::weak_ptr<State>*>(data)->lock();
    }
    static void release(gpointer data) { delete static_cast<std::weak_ptr<State>*>(data); }
};

// A probe's callback with the data it is given and how that data goes.
struct PadProbe {
    GstPadProbeCallback callback = nullptr;
    gpointer data = nullptr;
    GDestroyNotify release = nullptr;
};

// Requests a pad of the tee for the bin's entry, probes the pictures (`onPicture`) and the
// stream's events (`onEvent`, flushes included) that go down it, and links it. The pad is
// handed out, to be released by the caller, even when the link fails (false).
bool linkToTee(GstElement* tee, GstElement* bin, PadProbe onPicture, PadProbe onEvent,
               GstPointer<GstPad>& teePad);

// A queue for encoded pictures or sound: small, so it holds whatever comes for ten seconds.
std::string backlogQueue();

// The sound as the AVI muxer takes it.
std::string soundConversion();

// Now on GStreamer's system clock, which kept footage is timed on: a camera pipeline runs on
// it unless a sound source gives it another, and unlike the pipeline's running time it goes on
// steadily when replayed footage starts over.
GstClockTime footageClockTime();

// Whether the sound source opens; a clip is better without sound than not at all.
bool soundSourceOpens(const std::string& soundSource);
