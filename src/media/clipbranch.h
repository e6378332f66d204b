#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>

#include "detection/cliprequest.h"
#include "media/gstpointer.h"
#include "media/prerecording.h"

// A clip being recorded: a branch on a request pad of the camera pipeline's tee, from a leaky
// queue (so the live picture never waits for the file) through the encoder into an AVI file,
// with sound from `soundSource` when asked. The clip holds its seconds in pictures at the rate
// they are encoded at (a camera slower than its rate ends it by the pipeline's clock); at its
// end the branch takes no more pictures and drains, and the muxer finishes the file.
//
// A clip that begins before its trigger takes its pictures and sound, encoded, from a
// pre-recording instead; its seconds count from the trigger.
//
// Created and destroyed on the main thread; the streaming threads only ever see the shared
// state of the branch.
class ClipBranch {
public:
    // What a bus message meant for the branch. A clip that ended is kept, also one cut short
    // (the reason then in the handler's `error`); one that failed is no clip.
    enum class Event { None, Begun, Ended, Failed };

    // Builds the branch and starts it. On failure returns nullptr with the reason in `error`;
    // nothing is left in the pipeline.
    static std::unique_ptr<ClipBranch> start(GstElement* pipeline, GstElement* tee,
                                             const ClipRequest& request,
                                             const std::string& soundSource, std::string& error);
    // The same from the footage `footage` keeps and encodes after: the clip begins its
    // seconds before now and lasts `request.seconds` after. The caller detaches the footage
    // at the clip's end.
    static std::unique_ptr<ClipBranch> startWithFootage(GstElement* pipeline, PreRecording& footage,
                                                        const ClipRequest& request,
                                                        std::string& error);
    // Takes the branch out of the pipeline, finished or not.
    ~ClipBranch();

    ClipBranch(const ClipBranch&) = delete;
    ClipBranch& operator=(const ClipBranch&) = delete;

    // The clip ends with the next picture that arrives.
    void requestEnd();
    // The clip ends now, for a camera that delivers no more pictures.
    void endNow();

    // Sorts a message from the pipeline's bus: the first data written, the file finished, or
    // an error inside the branch (its text in `error`). A disk that fills ends the clip with
    // what it has: finished, when its room ran short before the last byte; as it was
    // written, when a write failed.
    Event handleBusMessage(GstMessage* message, std::string& error) const;

    const std::string& path() const { return m_path; }
    // Whether it takes its footage from a pre-recording.
    bool takesFootage() const;
    // Whether it ended as the camera's pictures changed their size; the pictures of the new
    // size are not in it.
    bool pictureSizeChanged() const;

private:
    struct Shared;

    ClipBranch(GstElement* pipeline, GstElement* tee, std::shared_ptr<Shared> shared,
               std::string path);
    // The branch from its description, with the file named, not yet in the pipeline; its
    // pictures are encoded at `picturesPerSecond`.
    static std::unique_ptr<ClipBranch> prepare(GstElement* pipeline, GstElement* tee,
                                               const std::string& description,
                                               const ClipRequest& request, int picturesPerSecond,
                                               std::string& error);
    // Puts it into the pipeline, running.
    bool join(std::string& error);

    GstPointer<GstElement> m_pipeline;
    GstPointer<GstElement> m_tee;  // absent for a clip of kept footage
    GstPointer<GstPad> m_teePad;
    std::shared_ptr<Shared> m_shared;
    std::string m_path;
    bool m_joined = false;
};
