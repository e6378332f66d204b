#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "detection/datetemplate.h"

// The file of a clip on the disk, from its name to its end: no GStreamer here, so what becomes
// of a clip's file is tested headless.

// `stem` ("Video_Sentello_", see clipStem) and the date as yyyymmddhhiiss, with ".avi", in
// `folder` (ending in "/"), made there as a new, empty file that only the user may read. When
// something stands at that name already (the clock was set back), "_2", "_3", ... go before
// ".avi".
std::string newClipPath(const std::string& folder, const std::string& stem, const DateFields& now);

// The path for a clip that goes on from the clip at `path` (one that newClipPath made): in the
// same folder with the same stem, named after `now` as newClipPath names it, and made there.
std::string nextClipPath(const std::string& path, const DateFields& now);

// A clip needs room: with less free than this in its folder none starts, so that the disk never
// fills to its last byte.
inline constexpr std::uint64_t kMinFreeClipBytes = std::uint64_t{200} << 20;

// False only when the folder of the clip at `path` is known to have less than `neededBytes`
// free.
bool roomForClip(const std::string& path, std::uint64_t neededBytes = kMinFreeClipBytes);

// A clip that failed is no clip: its remains go, unless the path names something that is not
// a plain file of ours.
void removeFailedClip(const std::string& path);

// A finished clip is on the disk before anyone is told about it.
void syncClip(const std::string& path);

// A part of a clip cut while it is recorded: a file of its own that plays alone (see
// writeAviPart), numbered from 1; the clip's last part says so.
struct ClipPart {
    std::string path;
    int index = 0;
    bool last = false;
};

// Where the parts of a clip go (a folder ending in "/", of their own: their names end in ".avi"
// and begin with the clip's), and who hears of each, on the syncer's thread. No folder: no
// parts.
struct ClipPartSetup {
    std::string folder;
    std::function<void(const ClipPart&)> written;
};

// Syncs the clip being written every two seconds, so that a power cut or a computer carried off
// loses at most its last two seconds: left to the system, a clip's data stays in memory for
// half a minute, and a shorter clip is lost whole. On a thread of its own, so that neither the
// detection nor the pictures ever wait for the disk. Ends with the clip: its end syncs what is
// left. Meanwhile it holds an flock on the clip, so that another Sentello starting up never
// takes the clip for one cut off by a crash (see repairAvi). When asked, it cuts the clip into
// parts of what is new after each sync, once that holds at least kPartSeconds of pictures, and
// when the clip finished, into a last part of the rest.
class ClipSyncer {
public:
    static constexpr std::chrono::seconds kPeriod{2};
    static constexpr double kPartSeconds = 4.0;

    explicit ClipSyncer(std::string path, std::chrono::milliseconds period = kPeriod,
                        std::function<void(const std::string&)> sync = syncClip,
                        ClipPartSetup parts = {});
    // Waits for a sync under way, never for the next; after finished(), for the last part.
    ~ClipSyncer();
    ClipSyncer(const ClipSyncer&) = delete;
    ClipSyncer& operator=(const ClipSyncer&) = delete;

    // The muxer finished the clip: its end cuts the last part.
    void finished();

private:
    void run();
    void cutPart(bool last);

    const std::string m_path;
    const std::chrono::milliseconds m_period;
    const std::function<void(const std::string&)> m_sync;
    const ClipPartSetup m_parts;
    int m_lock = -1;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_ending = false;
    bool m_finished = false;
    // Where the next part begins in the clip, and its number; only the syncer's thread.
    std::uint64_t m_nextPart = 0;
    int m_partIndex = 0;
    std::thread m_thread;
};
