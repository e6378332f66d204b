#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "outputs/alertmessage.h"
#include "outputs/outboxfolder.h"

// The pause before the next try of a message its server did not take: 1 s after the first
// failure, doubling up to 5 minutes.
std::chrono::seconds retryPause(int failures);

// What the user hears of the outbox, besides the messages that simply went out.
struct OutboxReport {
    enum class Kind {
        PictureDropped,  // the outbox or its disk was full: the text goes without its picture
        TextDropped,     // the outbox was full of texts alone: the oldest went
        Expired,         // not delivered within 24 hours
        Unreadable,      // a file of the folder that is no message of ours: removed
        DeliveredLate,   // delivered after a failed try, or after a restart
        Refused,         // the server refused the login or the certificate
        NotWritten,      // the message could not be written into the folder: it is not kept
        Gone,            // what the message stands for is gone: dropped
    };
    Kind kind = Kind::Unreadable;
    std::string id;  // the message's, or the file's name for Unreadable
    AlertChannel channel = AlertChannel::Mail;
    std::string reason;  // the server's for Refused, why for Unreadable and NotWritten
};

// The outbox's state for the dialog.
struct OutboxState {
    std::size_t waiting = 0;
    // Until the next try; 0 while one is under way, none when nothing waits.
    std::optional<std::int64_t> secondsToNextTry;
};
// "3 Nachrichten warten, nächster Versuch in 40 s".
std::string outboxStateText(const OutboxState& state);

struct OutboxClocks {
    std::function<std::chrono::steady_clock::time_point()> steady = [] {
        return std::chrono::steady_clock::now();
    };
    // Milliseconds since 1970, UTC.
    std::function<std::int64_t()> wallMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
};

// Puts one file of a message into the folder and says why when it could not: the folder's own
// write, unless a test holds the disk or lets it fail.
using OutboxWrite = std::function<std::optional<std::string>(
    const OutboxFolder& folder, const std::string& name, std::string_view bytes)>;

// The remote alarm's messages on their way: each is written into the folder before it is
// sent, and removed only when its channel's server has taken it, so that a kill or a power cut
// loses none: what the folder holds is sent at the next start. A thread for each channel
// sends, so the caller never waits for a server, and a server that stalls holds up no other
// channel. A message its server did not take is tried again after growing pauses until it is
// 24 hours old; one refused is tried every 5 minutes and reported, never dropped. The folder
// holds at most `limitBytes`: beyond that the oldest pictures go, then, only when the texts
// alone are too many, the oldest texts.
//
// Each message is a text file "<id>.msg" and its picture "<id>.jpg": the picture is written
// first and removed last, so a text stands for a whole message; a picture without its text,
// a temporary file of a write and a link under a message's name are remnants, removed at the
// start.
//
// A message handed over is written by a thread of the outbox's own, in the order handed over,
// so that the caller (the detection, at a trigger) never waits for the disk either; until then
// it is kept in memory, and the outbox's end writes every message handed over before it ends.
class Outbox {
public:
    static constexpr std::chrono::hours kMaxAge{24};
    static constexpr std::chrono::minutes kRefusedPause{5};
    // How long the end waits for the first try of the messages that came last.
    static constexpr std::chrono::seconds kLastTries{3};
    static constexpr std::uintmax_t kMaxTextBytes = 256 * 1024;
    static constexpr std::uintmax_t kMaxPictureBytes = 64 * 1024 * 1024;

    // `report` is called on the outbox's own threads, and at its end on the destructor's. The
    // senders are the outbox's, one per channel; a message of a channel without one waits as
    // one its server did not take. Without `write` the folder's own.
    Outbox(OutboxFolder folder, std::map<AlertChannel, std::unique_ptr<AlertSender>> senders,
           std::uintmax_t limitBytes, std::function<void(const OutboxReport&)> report,
           OutboxClocks clocks = {}, OutboxWrite write = {});
    // Gives the messages that came last (the program's end) up to kLastTries for their first
    // try, writes every message handed over, ends a send under way at once and ends; what is
    // not delivered stays in the folder for the next start.
    ~Outbox();

    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Hands the message over to be written into the folder and then sent, without waiting for
    // the disk; from any thread. A message without an id is given a new one, as is one whose
    // id could not name a file or is waiting already, and one without its time (0) the wall
    // clock's. The id under which it waits; a write that fails is reported (NotWritten).
    std::string enqueue(AlertMessage message);

    // What waits of the channels named, of all when none is.
    OutboxState state(const std::set<AlertChannel>& channels = {}) const;
    // Looks at the clocks again now, for a clock that jumped.
    void checkNow();

private:
    struct Waiting {
        AlertMessage message;  // without its picture, which stays on the disk
        std::uintmax_t textBytes = 0;
        std::uintmax_t pictureBytes = 0;
        std::uint64_t order = 0;
        std::chrono::steady_clock::time_point due;
        int failures = 0;
        bool late = false;
        std::string refusedReason;
        bool sending = false;
        // In the folder: only then is it sent, expired or looked at for the next try.
        bool written = false;
    };
    using Entries = std::map<std::string, Waiting>;
    // A message handed over and not yet written, whole in memory.
    struct HandedOver {
        AlertMessage message;  // without its picture
        std::string text;
        std::string picture;
    };

    void loadFolder();
    // Whether every message handed over has been tried at least once; under m_mutex.
    bool allTried();
    // The writing of the messages handed over, one at a time in their order.
    void runWriter();
    void writeDown(HandedOver handedOver);
    // The sending of one channel: a channel whose server stalls holds up no other.
    void run(AlertChannel channel);
    // The next message due, oldest first, or none.
    Entries::iterator nextDue(std::chrono::steady_clock::time_point now, AlertChannel channel);
    std::chrono::steady_clock::duration untilNextEvent(AlertChannel channel,
                                                       std::chrono::steady_clock::time_point now,
                                                       std::int64_t wallMs) const;
    void expireOld(std::int64_t wallMs, AlertChannel channel);
    void tellReports(std::unique_lock<std::mutex>& lock);
    void makeRoom();
    void removeMessage(const std::string& id);
    void dropPicture(Waiting& waiting);
    void settle(const std::string& id, const Delivery& delivery);
    std::uintmax_t totalBytes() const;
    // The picture of a message about to be sent; empty when it has none or it cannot be read.
    std::string pictureOf(const std::string& id);

    const OutboxFolder m_folder;
    const std::map<AlertChannel, std::unique_ptr<AlertSender>> m_senders;
    const std::uintmax_t m_limitBytes;
    const std::function<void(const OutboxReport&)> m_report;
    const OutboxClocks m_clocks;
    const OutboxWrite m_write;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    Entries m_entries;
    // Reports of the caller's threads and of the start, for the outbox's thread to tell.
    std::vector<OutboxReport> m_reports;
    std::uint64_t m_nextOrder = 0;
    // Counts the changes each channel's thread looks at: messages come, a clock jumped.
    std::uint64_t m_changes = 0;
    bool m_ending = false;
    // The reports are told one at a time, whichever thread found them.
    std::mutex m_reportMutex;

    // The hand-over, apart from m_mutex, which is held while files are removed: a caller
    // never waits for the disk. Taken after m_mutex where both are, never before.
    mutable std::mutex m_handOverMutex;
    std::condition_variable m_handedOver;
    std::deque<HandedOver> m_unwritten;
    // The writer has taken one from m_unwritten that is not yet among the entries.
    bool m_takenForWriting = false;
    bool m_writerEnding = false;
    // The ids handed over or waiting, so that no two messages share one.
    std::set<std::string> m_ids;

    std::vector<std::thread> m_workers;
    std::thread m_writer;
};
