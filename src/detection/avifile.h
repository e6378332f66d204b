#pragma once

#include <cstdint>
#include <string>

// The AVI files that clips are, read as RIFF and nothing more: no GStreamer here, so a clip cut
// off by a kill or a power cut is mended before any player sees it, and a clip still being
// written is cut into parts that play on their own. Whatever a file holds (sizes past its end,
// odd sizes, garbage, a FIFO, a link), it is read only within its end and never makes a reader
// wait, crash or loop.
//
// What is taken for a clip: "RIFF" "AVI " with "LIST" "hdrl" (the "avih", one "LIST" "strl" per
// stream with its "strh" and "strf", maybe "LIST" "odml" with "dmlh") and then "LIST" "movi",
// whose chunks are named by their stream's two digits and "dc", "db", "wb", "pc" or "tx", with
// "JUNK" and OpenDML's "ix##" between them; "idx1" follows the movi list. A clip that the muxer
// finished says how long its movi list is, and "idx1" follows it. A clip cut off says neither:
// its movi list is taken from its start to its last whole chunk.

enum class AviState {
    Finished,    // "idx1" follows the movi list, and the RIFF's size takes it in
    Unfinished,  // begins as an AVI, but has no index where its sizes say (or no header whole)
    NoAvi,       // no plain file, or not beginning with RIFF "AVI " (an empty file)
};

// Reads the header and the few bytes where the index has to begin, never the whole file.
AviState aviState(const std::string& path);

struct AviRepair {
    enum class Outcome {
        Whole,     // finished already: nothing was written
        Repaired,  // index written and sizes fixed; `pictures` and `seconds` say what plays
        InUse,     // another program holds the clip (it is being recorded): not touched
        Hopeless,  // `reason` says why; the file is as it was
    };
    Outcome outcome = Outcome::Hopeless;
    std::int64_t pictures = 0;
    double seconds = 0.0;
    std::string reason{};
};

// Mends an unfinished clip where it lies: keeps every whole chunk of its movi list, drops a
// chunk cut off at the end (or zero bytes after the last chunk) by shortening the file, writes
// the index behind the last chunk and then the sizes and counts of the header. The index is on
// the disk before the header names it, so a kill during the repair leaves a file that is
// repaired at the next attempt. A file that cannot be mended, or that another process holds an
// flock on (as the recorder does while it writes, see ClipSyncer), is left as it is.
AviRepair repairAvi(const std::string& path);

// Every AVI picture of Motion-JPEG is a key picture; of MPEG-4 part 2 (DivX, Xvid) the ones
// whose VOP is intra-coded. Taken by the clip's compression in its stream header.
struct AviPart {
    enum class Outcome {
        Written,  // `pictures` pictures (`seconds`) went into the part
        NotYet,   // too little new since `from`: nothing was written
        Failed,   // `reason` says why; no part file was left behind
    };
    Outcome outcome = Outcome::NotYet;
    // Where the next part begins: the first chunk that this part did not take.
    std::uint64_t next = 0;
    std::int64_t pictures = 0;
    double seconds = 0.0;
    std::string reason{};
};

// Writes a part of the clip at `clipPath`, which the muxer may be writing right now, into a new
// file at `partPath`: the clip's header with the part's sizes, its movi chunks from `from` (0:
// the first) up to the last whole chunk on the disk, and an index, so that it plays alone.
// Unless `toEnd`, the part ends before the last key picture, where the next one begins, and is
// written only when it holds at least `minSeconds` of pictures. A part of MPEG-4 that does not
// begin with the clip gets the clip's stream configuration before its first picture.
AviPart writeAviPart(const std::string& clipPath, std::uint64_t from, const std::string& partPath,
                     double minSeconds, bool toEnd);
