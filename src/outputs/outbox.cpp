#include "outputs/outbox.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "outputs/alertid.h"
#include "outputs/alertmessagetext.h"

namespace {

constexpr std::string_view kTextSuffix = ".msg";
constexpr std::string_view kPictureSuffix = ".jpg";
constexpr std::chrono::seconds kMaxRetryPause{300};
// The longest the thread sleeps without looking at the clocks.
constexpr std::chrono::hours kLongestSleep{1};

std::string textName(const std::string& id) {
    return id + std::string(kTextSuffix);
}

std::string pictureName(const std::string& id) {
    return id + std::string(kPictureSuffix);
}

// The id a name of the folder is given to with `suffix`, when it is one.
std::optional<std::string> idOf(const std::string& name, std::string_view suffix) {
    if (name.size() <= suffix.size() || !name.ends_with(suffix))
        return std::nullopt;
    std::string id = name.substr(0, name.size() - suffix.size());
    return isAlertId(id) ? std::optional(id) : std::nullopt;
}

// A temporary file that a write of a message's file left behind: "<id>.msg.XXXXXX".
bool isRemnantOfWrite(const std::string& name) {
    for (const std::string_view suffix : {kTextSuffix, kPictureSuffix}) {
        const std::size_t at = name.find(std::string(suffix) + ".");
        if (at != std::string::npos && at > 0 && isAlertId(std::string_view(name).substr(0, at)))
            return true;
    }
    return false;
}

}  // namespace

std::chrono::seconds retryPause(int failures) {
    const int doublings = std::clamp(failures - 1, 0, 16);
    return std::min(std::chrono::seconds(1LL << doublings), kMaxRetryPause);
}

std::string outboxStateText(const OutboxState& state) {
    if (state.waiting == 0)
        return "Keine Nachricht wartet";
    std::string text = state.waiting == 1 ? std::string("1 Nachricht wartet")
                                          : std::to_string(state.waiting) + " Nachrichten warten";
    if (state.secondsToNextTry == 0)
        text += ", wird gerade gesendet";
    else if (state.secondsToNextTry)
        text += ", nächster Versuch in " + std::to_string(*state.secondsToNextTry) + " s";
    return text;
}

Outbox::Outbox(OutboxFolder folder, std::map<AlertChannel, std::unique_ptr<AlertSender>> senders,
               std::uintmax_t limitBytes, std::function<void(const OutboxReport&)> report,
               OutboxClocks clocks, OutboxWrite write)
    : m_folder(std::move(folder)),
      m_senders(std::move(senders)),
      m_limitBytes(limitBytes),
      m_report(std::move(report)),
      m_clocks(std::move(clocks)),
      m_write(write ? std::move(write)
                    : [](const OutboxFolder& into, const std::string& name,
                         std::string_view bytes) { return into.write(name, bytes); }) {
    loadFolder();
    for (const AlertChannel channel : {AlertChannel::Mail, AlertChannel::Push, AlertChannel::Mqtt,
                                       AlertChannel::CopyPicture, AlertChannel::CopyClip})
        m_workers.emplace_back(&Outbox::run, this, channel);
    m_writer = std::thread(&Outbox::runWriter, this);
}

Outbox::~Outbox() {
    // What came last, the program's end among it, goes out now when its server takes it at
    // once; what is not taken within the grace waits in the folder for the next start.
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, kLastTries, [this] { return allTried(); });
    }
    {
        const std::lock_guard hand(m_handOverMutex);
        m_writerEnding = true;
    }
    m_handedOver.notify_all();
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    // A send under way to a server that stalls would hold up the end for its time limit; its
    // message stays in the folder instead, for the next start.
    for (const auto& [channel, sender] : m_senders)
        sender->abandon();
    m_writer.join();
    for (std::thread& worker : m_workers)
        worker.join();
    // What the threads found at the end, a message that could not be written among it.
    std::unique_lock lock(m_mutex);
    tellReports(lock);
}

bool Outbox::allTried() {
    {
        const std::lock_guard hand(m_handOverMutex);
        if (!m_unwritten.empty() || m_takenForWriting)
            return false;
    }
    return std::none_of(m_entries.begin(), m_entries.end(),
                        [](const auto& entry) { return entry.second.failures == 0; });
}

void Outbox::loadFolder() {
    const std::vector<std::string> names = m_folder.names();
    std::vector<std::string> pictures;
    std::vector<Waiting> loaded;
    for (const std::string& name : names) {
        if (isRemnantOfWrite(name)) {
            m_folder.remove(name);
            continue;
        }
        if (const auto id = idOf(name, kPictureSuffix)) {
            pictures.push_back(*id);
            continue;
        }
        const auto id = idOf(name, kTextSuffix);
        if (!id)
            continue;  // not ours: left alone
        const std::optional<std::string> text = m_folder.read(name, kMaxTextBytes);
        std::optional<AlertMessage> message;
        if (text)
            message = parseAlertMessageText(*text);
        if (!message || message->id != *id) {
            m_folder.remove(name);
            m_reports.push_back({OutboxReport::Kind::Unreadable, name, AlertChannel::Mail,
                                 text ? "keine Nachricht" : "keine lesbare Datei"});
            continue;
        }
        Waiting waiting;
        waiting.textBytes = text->size();
        waiting.message = std::move(*message);
        // It did not go out before the restart.
        waiting.late = true;
        waiting.due = m_clocks.steady();
        loaded.push_back(std::move(waiting));
    }
    std::sort(loaded.begin(), loaded.end(), [](const Waiting& a, const Waiting& b) {
        return std::tie(a.message.createdMs, a.message.id) <
               std::tie(b.message.createdMs, b.message.id);
    });
    for (Waiting& waiting : loaded) {
        waiting.order = m_nextOrder++;
        waiting.written = true;
        const std::string id = waiting.message.id;
        m_ids.insert(id);
        m_entries.emplace(id, std::move(waiting));
    }
    for (const std::string& id : pictures) {
        const auto entry = m_entries.find(id);
        const std::optional<std::uintmax_t> size = m_folder.regularFileSize(pictureName(id));
        if (entry == m_entries.end() || !size || *size > kMaxPictureBytes)
            m_folder.remove(pictureName(id));
        else
            entry->second.pictureBytes = *size;
    }
    makeRoom();
}

std::string Outbox::enqueue(AlertMessage message) {
    const std::int64_t wallMs = m_clocks.wallMs();
    if (message.createdMs == 0)
        message.createdMs = wallMs;
    HandedOver handedOver;
    handedOver.picture = std::move(message.picture);
    message.picture.clear();
    std::unique_lock hand(m_handOverMutex);
    if (!isAlertId(message.id) || m_ids.count(message.id))
        message.id = newAlertId(wallMs);
    std::string id = message.id;
    m_ids.insert(id);
    hand.unlock();
    handedOver.text = alertMessageText(message);
    handedOver.message = std::move(message);
    hand.lock();
    m_unwritten.push_back(std::move(handedOver));
    hand.unlock();
    m_handedOver.notify_one();
    return id;
}

void Outbox::runWriter() {
    for (;;) {
        HandedOver next;
        {
            std::unique_lock hand(m_handOverMutex);
            m_handedOver.wait(hand, [this] { return !m_unwritten.empty() || m_writerEnding; });
            if (m_unwritten.empty())
                return;
            next = std::move(m_unwritten.front());
            m_unwritten.pop_front();
            m_takenForWriting = true;
        }
        writeDown(std::move(next));
    }
}

void Outbox::writeDown(HandedOver handedOver) {
    const std::string id = handedOver.message.id;
    std::unique_lock lock(m_mutex);
    Waiting waiting;
    waiting.textBytes = handedOver.text.size();
    waiting.pictureBytes = handedOver.picture.size();
    waiting.order = m_nextOrder++;
    waiting.due = m_clocks.steady();
    waiting.message = std::move(handedOver.message);
    m_entries.emplace(id, std::move(waiting));
    {
        const std::lock_guard hand(m_handOverMutex);
        m_takenForWriting = false;
    }
    // Room is made before the write, so that the folder never holds more than its bound.
    makeRoom();
    auto entry = m_entries.find(id);
    const bool kept = entry != m_entries.end();
    const bool withPicture = kept && entry->second.pictureBytes > 0;
    lock.unlock();

    std::optional<std::string> pictureLost;
    if (withPicture)
        pictureLost = m_write(m_folder, pictureName(id), handedOver.picture);
    std::optional<std::string> failure;
    if (kept)
        failure = m_write(m_folder, textName(id), handedOver.text);

    lock.lock();
    entry = m_entries.find(id);
    if (entry != m_entries.end()) {
        // A disk too full for the picture may still take the text, which is the alarm.
        if (pictureLost) {
            entry->second.pictureBytes = 0;
            m_reports.push_back({OutboxReport::Kind::PictureDropped, id,
                                 entry->second.message.channel, std::move(*pictureLost)});
        }
        if (failure) {
            m_reports.push_back(
                {OutboxReport::Kind::NotWritten, id, entry->second.message.channel, *failure});
            removeMessage(id);
        } else {
            entry->second.written = true;
        }
    }
    ++m_changes;
    lock.unlock();
    m_wake.notify_all();
}

OutboxState Outbox::state(const std::set<AlertChannel>& channels) const {
    const auto named = [&channels](AlertChannel channel) {
        return channels.empty() || channels.contains(channel);
    };
    const std::lock_guard lock(m_mutex);
    std::size_t unwritten = 0;
    {
        const std::lock_guard hand(m_handOverMutex);
        unwritten = static_cast<std::size_t>(
            std::count_if(m_unwritten.begin(), m_unwritten.end(),
                          [&](const HandedOver& one) { return named(one.message.channel); }));
        // The one being written, a matter of milliseconds, counts where all are asked for.
        if (m_takenForWriting && channels.empty())
            ++unwritten;
    }
    OutboxState state;
    state.waiting = unwritten;
    for (const auto& [id, waiting] : m_entries)
        state.waiting += named(waiting.message.channel) ? 1 : 0;
    if (state.waiting == 0)
        return state;
    const auto now = m_clocks.steady();
    // One still to be written goes as soon as it is.
    std::int64_t soonest = unwritten > 0 ? 0 : INT64_MAX;
    for (const auto& [id, waiting] : m_entries) {
        if (!named(waiting.message.channel))
            continue;
        if (waiting.sending || !waiting.written) {
            soonest = 0;
            break;
        }
        const auto until = std::chrono::ceil<std::chrono::seconds>(waiting.due - now).count();
        soonest = std::min<std::int64_t>(soonest, std::max<std::int64_t>(until, 0));
    }
    state.secondsToNextTry = soonest;
    return state;
}

void Outbox::checkNow() {
    {
        const std::lock_guard lock(m_mutex);
        ++m_changes;
    }
    m_wake.notify_all();
}

void Outbox::tellReports(std::unique_lock<std::mutex>& lock) {
    std::vector<OutboxReport> reports;
    reports.swap(m_reports);
    lock.unlock();
    if (m_report) {
        const std::lock_guard telling(m_reportMutex);
        for (const OutboxReport& report : reports)
            m_report(report);
    }
    lock.lock();
}

void Outbox::run(AlertChannel channel) {
    std::unique_lock lock(m_mutex);
    std::uint64_t seen = m_changes;
    for (;;) {
        if (!m_reports.empty()) {
            tellReports(lock);
            continue;
        }
        if (m_ending)
            return;
        seen = m_changes;
        const auto now = m_clocks.steady();
        const std::int64_t wallMs = m_clocks.wallMs();
        expireOld(wallMs, channel);
        const auto due = nextDue(now, channel);
        if (due == m_entries.end()) {
            if (m_reports.empty())
                m_wake.wait_for(lock, untilNextEvent(channel, now, wallMs),
                                [&] { return m_changes != seen || m_ending; });
            continue;
        }
        Waiting& waiting = due->second;
        waiting.sending = true;
        AlertMessage message = waiting.message;
        const bool withPicture = waiting.pictureBytes > 0;
        lock.unlock();
        if (withPicture)
            message.picture = pictureOf(message.id);
        const auto sender = m_senders.find(message.channel);
        const Delivery delivery = sender != m_senders.end() && sender->second
                                      ? sender->second->send(message)
                                      : Delivery{Delivery::Outcome::TryAgain, "Kanal ist aus", {}};
        lock.lock();
        settle(message.id, delivery);
    }
}

std::string Outbox::pictureOf(const std::string& id) {
    std::optional<std::string> picture = m_folder.read(pictureName(id), kMaxPictureBytes);
    if (picture)
        return std::move(*picture);
    const std::lock_guard lock(m_mutex);
    const auto entry = m_entries.find(id);
    // A picture the full outbox dropped meanwhile has been reported already.
    if (entry != m_entries.end() && entry->second.pictureBytes > 0) {
        entry->second.pictureBytes = 0;
        m_reports.push_back({OutboxReport::Kind::PictureDropped, id, entry->second.message.channel,
                             "Bild nicht lesbar"});
    }
    return {};
}

Outbox::Entries::iterator Outbox::nextDue(std::chrono::steady_clock::time_point now,
                                          AlertChannel channel) {
    auto next = m_entries.end();
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        const Waiting& waiting = entry->second;
        if (waiting.message.channel == channel && waiting.written && !waiting.sending &&
            waiting.due <= now && (next == m_entries.end() || waiting.order < next->second.order))
            next = entry;
    }
    return next;
}

std::chrono::steady_clock::duration Outbox::untilNextEvent(
    AlertChannel channel, std::chrono::steady_clock::time_point now, std::int64_t wallMs) const {
    std::chrono::steady_clock::duration until = kLongestSleep;
    const std::int64_t maxAgeMs = std::chrono::milliseconds(kMaxAge).count();
    for (const auto& [id, waiting] : m_entries) {
        if (waiting.message.channel != channel || waiting.sending || !waiting.written)
            continue;
        until = std::min(until, waiting.due - now);
        if (waiting.message.createdMs < INT64_MAX - maxAgeMs) {
            const std::int64_t expiresIn = waiting.message.createdMs + maxAgeMs - wallMs;
            if (expiresIn < std::chrono::milliseconds(kLongestSleep).count())
                until = std::min<std::chrono::steady_clock::duration>(
                    until, std::chrono::milliseconds(expiresIn));
        }
    }
    return std::max<std::chrono::steady_clock::duration>(until, std::chrono::milliseconds(1));
}

void Outbox::expireOld(std::int64_t wallMs, AlertChannel channel) {
    const std::int64_t maxAgeMs = std::chrono::milliseconds(kMaxAge).count();
    std::vector<std::string> expired;
    for (const auto& [id, waiting] : m_entries)
        if (waiting.message.channel == channel && waiting.written && !waiting.sending &&
            waiting.message.createdMs < INT64_MAX - maxAgeMs &&
            wallMs >= waiting.message.createdMs + maxAgeMs)
            expired.push_back(id);
    for (const std::string& id : expired) {
        const Waiting& waiting = m_entries.at(id);
        m_reports.push_back(
            {OutboxReport::Kind::Expired, id, waiting.message.channel, waiting.refusedReason});
        removeMessage(id);
    }
}

void Outbox::makeRoom() {
    while (totalBytes() > m_limitBytes) {
        Waiting* oldest = nullptr;
        for (auto& [id, waiting] : m_entries)
            if (waiting.pictureBytes > 0 && (!oldest || waiting.order < oldest->order))
                oldest = &waiting;
        if (oldest) {
            dropPicture(*oldest);
            continue;
        }
        // The text under way goes when its server has taken it.
        for (auto& [id, waiting] : m_entries)
            if (!waiting.sending && (!oldest || waiting.order < oldest->order))
                oldest = &waiting;
        if (!oldest || m_entries.size() == 1)
            return;
        m_reports.push_back(
            {OutboxReport::Kind::TextDropped, oldest->message.id, oldest->message.channel, {}});
        removeMessage(oldest->message.id);
    }
}

void Outbox::dropPicture(Waiting& waiting) {
    m_folder.remove(pictureName(waiting.message.id));
    waiting.pictureBytes = 0;
    m_reports.push_back(
        {OutboxReport::Kind::PictureDropped, waiting.message.id, waiting.message.channel, {}});
}

void Outbox::removeMessage(const std::string& id) {
    // The text first: a picture left alone by a crash is a remnant, a text alone a message.
    m_folder.remove(textName(id));
    m_folder.remove(pictureName(id));
    {
        const std::lock_guard hand(m_handOverMutex);
        m_ids.erase(id);
    }
    // Last, by its place: the id passed may be the entry's own.
    if (const auto entry = m_entries.find(id); entry != m_entries.end())
        m_entries.erase(entry);
}

void Outbox::settle(const std::string& id, const Delivery& delivery) {
    const auto entry = m_entries.find(id);
    if (entry == m_entries.end())
        return;
    Waiting& waiting = entry->second;
    waiting.sending = false;
    switch (delivery.outcome) {
        case Delivery::Outcome::Delivered:
            if (waiting.late)
                m_reports.push_back(
                    {OutboxReport::Kind::DeliveredLate, id, waiting.message.channel, {}});
            removeMessage(id);
            return;
        case Delivery::Outcome::Gone:
            m_reports.push_back(
                {OutboxReport::Kind::Gone, id, waiting.message.channel, delivery.reason});
            removeMessage(id);
            return;
        case Delivery::Outcome::TryAgain:
            ++waiting.failures;
            waiting.late = true;
            waiting.refusedReason.clear();
            waiting.due = m_clocks.steady() + retryPause(waiting.failures);
            return;
        case Delivery::Outcome::Refused:
            ++waiting.failures;
            waiting.late = true;
            if (waiting.refusedReason != delivery.reason || waiting.failures == 1)
                m_reports.push_back(
                    {OutboxReport::Kind::Refused, id, waiting.message.channel, delivery.reason});
            waiting.refusedReason = delivery.reason;
            waiting.due = m_clocks.steady() + kRefusedPause;
            return;
    }
}

std::uintmax_t Outbox::totalBytes() const {
    std::uintmax_t total = 0;
    for (const auto& [id, waiting] : m_entries)
        total += waiting.textBytes + waiting.pictureBytes;
    return total;
}
