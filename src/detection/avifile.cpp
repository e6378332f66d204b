#include "detection/avifile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

using FourCc = std::uint32_t;
using Bytes = std::vector<std::uint8_t>;

constexpr FourCc fourCc(std::string_view text) {
    return FourCc(std::uint8_t(text[0])) | FourCc(std::uint8_t(text[1])) << 8 |
           FourCc(std::uint8_t(text[2])) << 16 | FourCc(std::uint8_t(text[3])) << 24;
}

constexpr FourCc kRiff = fourCc("RIFF");
constexpr FourCc kAvi = fourCc("AVI ");
constexpr FourCc kList = fourCc("LIST");
constexpr FourCc kHdrl = fourCc("hdrl");
constexpr FourCc kAvih = fourCc("avih");
constexpr FourCc kStrl = fourCc("strl");
constexpr FourCc kStrh = fourCc("strh");
constexpr FourCc kStrf = fourCc("strf");
constexpr FourCc kOdml = fourCc("odml");
constexpr FourCc kDmlh = fourCc("dmlh");
constexpr FourCc kMovi = fourCc("movi");
constexpr FourCc kIdx1 = fourCc("idx1");
constexpr FourCc kJunk = fourCc("JUNK");
constexpr FourCc kVids = fourCc("vids");
constexpr FourCc kAuds = fourCc("auds");

constexpr std::uint32_t kHasIndex = 0x10;
constexpr std::uint32_t kIsInterleaved = 0x100;
constexpr std::uint32_t kKeyFrame = 0x10;
// A clip's header takes a few kilobytes; one that claims more is no clip.
constexpr std::uint64_t kMaxHeaderBytes = 1 << 20;
// Enough of an MPEG-4 picture to find its VOP behind the stream configuration.
constexpr std::size_t kVopSearchBytes = 4096;
constexpr std::size_t kCopyBlock = 1 << 20;
constexpr std::uint8_t kVopStart[] = {0x00, 0x00, 0x01, 0xB6};

std::uint32_t readLe32(const std::uint8_t* at) {
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
           std::uint32_t(at[3]) << 24;
}

std::uint16_t readLe16(const std::uint8_t* at) {
    return std::uint16_t(at[0] | at[1] << 8);
}

void writeLe32(std::uint8_t* at, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte)
        at[byte] = std::uint8_t(value >> (8 * byte));
}

void appendLe32(Bytes& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 4);
    writeLe32(bytes.data() + bytes.size() - 4, value);
}

std::uint64_t padded(std::uint64_t size) {
    return size + (size & 1);
}

std::string errorText() {
    return std::generic_category().message(errno);
}

// A plain file opened without following a link and without waiting (a FIFO is refused, never
// waited for); reads stay within the size it had when opened.
class File {
public:
    File(const std::string& path, int flags)
        : m_descriptor(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {
        struct stat status {};
        if (m_descriptor >= 0 &&
            (::fstat(m_descriptor, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(m_descriptor);
            m_descriptor = -1;
            errno = EINVAL;
        }
        if (m_descriptor >= 0)
            m_size = std::uint64_t(status.st_size);
    }
    ~File() {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }
    std::uint64_t size() const { return m_size; }

    // Exactly `count` bytes from `at`, all of them before the end.
    bool read(std::uint64_t at, void* out, std::size_t count) const {
        if (at > m_size || count > m_size - at)
            return false;
        auto* bytes = static_cast<std::uint8_t*>(out);
        for (std::size_t done = 0; done < count;) {
            const ssize_t now = ::pread(m_descriptor, bytes + done, count - done, off_t(at + done));
            if (now < 0 && errno == EINTR)
                continue;
            // A file shrunk meanwhile ends the read as a file that is too short.
            if (now <= 0)
                return false;
            done += std::size_t(now);
        }
        return true;
    }

private:
    int m_descriptor = -1;
    std::uint64_t m_size = 0;
};

bool writeAll(int descriptor, const std::uint8_t* bytes, std::size_t count, std::uint64_t at) {
    for (std::size_t done = 0; done < count;) {
        const ssize_t now = ::pwrite(descriptor, bytes + done, count - done, off_t(at + done));
        if (now < 0 && errno == EINTR)
            continue;
        if (now <= 0) {
            if (now == 0)
                errno = ENOSPC;
            return false;
        }
        done += std::size_t(now);
    }
    return true;
}

bool isMpeg4(FourCc code) {
    std::array<char, 4> text{};
    for (int byte = 0; byte < 4; ++byte)
        text[std::size_t(byte)] =
            char(std::toupper(static_cast<unsigned char>(std::uint8_t(code >> (8 * byte)))));
    const std::string_view name(text.data(), text.size());
    for (const std::string_view known : {"DIVX", "DX50", "XVID", "FMP4", "MP4V", "M4S2"}) {
        if (name == known)
            return true;
    }
    return false;
}

struct Stream {
    FourCc type = 0;
    // Where the stream's header data begins in the clip's header.
    std::size_t headerAt = 0;
    bool mpeg4 = false;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t sampleSize = 0;
    std::uint32_t blockAlign = 0;
};

// What the header of a clip says and where, up to and with the movi list's own header.
struct Layout {
    Bytes header;
    std::uint64_t moviAt = 0;
    std::uint32_t moviDeclared = 0;
    std::size_t avihAt = 0;
    std::size_t dmlhAt = 0;
    std::vector<Stream> streams;
    int video = -1;

    std::uint64_t firstChunk() const { return moviAt + 12; }
    double secondsOf(std::int64_t pictures) const {
        const Stream& stream = streams[std::size_t(video)];
        if (stream.scale > 0 && stream.rate > 0)
            return double(pictures) * stream.scale / stream.rate;
        return double(pictures) * readLe32(header.data() + avihAt) / 1e6;
    }
};

// Calls `each` with the id, where the data begin and the size of every chunk that lies wholly
// within [begin, end) of `bytes`, in order, until one does not or `each` says stop.
template <typename Each>
void forEachChunk(const Bytes& bytes, std::size_t begin, std::size_t end, Each each) {
    std::uint64_t at = begin;
    while (at + 8 <= end) {
        const std::uint32_t size = readLe32(bytes.data() + at + 4);
        if (at + 8 + size > end)
            return;
        if (!each(readLe32(bytes.data() + at), std::size_t(at + 8), std::size_t(size)))
            return;
        at += 8 + padded(size);
    }
}

bool isList(const Bytes& bytes, FourCc id, std::size_t dataAt, std::size_t size, FourCc type) {
    return id == kList && size >= 4 && readLe32(bytes.data() + dataAt) == type;
}

std::optional<Stream> readStream(const Bytes& bytes, std::size_t begin, std::size_t end) {
    std::optional<Stream> stream;
    forEachChunk(bytes, begin, end, [&](FourCc id, std::size_t at, std::size_t size) {
        if (id == kStrh && size >= 48) {
            const std::uint8_t* data = bytes.data() + at;
            stream = Stream{.type = readLe32(data),
                            .headerAt = at,
                            .mpeg4 = isMpeg4(readLe32(data + 4)),
                            .scale = readLe32(data + 20),
                            .rate = readLe32(data + 24),
                            .sampleSize = readLe32(data + 44)};
        } else if (id == kStrf && stream) {
            const std::uint8_t* data = bytes.data() + at;
            if (stream->type == kVids && size >= 20)
                stream->mpeg4 = stream->mpeg4 || isMpeg4(readLe32(data + 16));
            else if (stream->type == kAuds && size >= 14)
                stream->blockAlign = readLe16(data + 12);
        }
        return true;
    });
    return stream;
}

void readHeaderList(const Bytes& bytes, std::size_t begin, std::size_t end, Layout& layout) {
    forEachChunk(bytes, begin, end, [&](FourCc id, std::size_t at, std::size_t size) {
        if (id == kAvih && size >= 56) {
            layout.avihAt = at;
        } else if (isList(bytes, id, at, size, kStrl)) {
            if (std::optional<Stream> stream = readStream(bytes, at + 4, at + size)) {
                if (stream->type == kVids && layout.video < 0)
                    layout.video = int(layout.streams.size());
                layout.streams.push_back(*stream);
            }
        } else if (isList(bytes, id, at, size, kOdml)) {
            forEachChunk(bytes, at + 4, at + size,
                         [&](FourCc inner, std::size_t innerAt, std::size_t innerSize) {
                             if (inner == kDmlh && innerSize >= 4)
                                 layout.dmlhAt = innerAt;
                             return true;
                         });
        }
        return true;
    });
}

// The header of a clip with a picture stream; none when the file holds no such header (yet).
std::optional<Layout> readLayout(const File& file) {
    Bytes bytes(std::size_t(std::min(file.size(), kMaxHeaderBytes)));
    if (bytes.size() < 12 || !file.read(0, bytes.data(), bytes.size()) ||
        readLe32(bytes.data()) != kRiff || readLe32(bytes.data() + 8) != kAvi) {
        return std::nullopt;
    }
    Layout layout;
    bool movi = false;
    forEachChunk(bytes, 12, bytes.size(), [&](FourCc id, std::size_t at, std::size_t size) {
        if (isList(bytes, id, at, size, kHdrl))
            readHeaderList(bytes, at + 4, at + size, layout);
        return true;
    });
    // The movi list runs past what was read, so it is looked for on its own.
    for (std::uint64_t at = 12; at + 12 <= bytes.size();) {
        const FourCc id = readLe32(bytes.data() + at);
        const std::uint32_t size = readLe32(bytes.data() + at + 4);
        if (id == kList && readLe32(bytes.data() + at + 8) == kMovi) {
            layout.moviAt = at;
            layout.moviDeclared = size;
            movi = true;
            break;
        }
        at += 8 + padded(size);
    }
    if (!movi || layout.avihAt == 0 || layout.video < 0)
        return std::nullopt;
    bytes.resize(std::size_t(layout.moviAt + 12));
    layout.header = std::move(bytes);
    return layout;
}

bool finished(const File& file, const Layout& layout) {
    if (layout.moviDeclared < 4)
        return false;
    const std::uint64_t indexAt = layout.moviAt + 8 + padded(layout.moviDeclared);
    std::uint8_t index[8];
    if (!file.read(indexAt, index, sizeof index) || readLe32(index) != kIdx1)
        return false;
    const std::uint64_t indexEnd = indexAt + 8 + readLe32(index + 4);
    const std::uint64_t riffEnd = 8 + std::uint64_t(readLe32(layout.header.data() + 4));
    return indexEnd <= file.size() && riffEnd >= indexEnd && riffEnd <= file.size() + 1;
}

struct Chunk {
    std::uint64_t at = 0;
    FourCc id = 0;
    std::uint32_t size = 0;
    int stream = 0;
    bool key = false;

    std::uint64_t end() const { return at + 8 + padded(size); }
};

enum class MoviEnd {
    FileEnd,    // the last chunk ends with the file
    Cut,        // a chunk runs past the end of the file
    Index,      // an index follows, and nothing after it
    Beyond,     // more follows the index (OpenDML's next RIFF part)
    Unreadable  // neither a chunk nor zero bytes: `end` says where
};

struct Movi {
    std::vector<Chunk> chunks;
    // Behind the last whole chunk; may be one past the end of the file when the file ends
    // before the last chunk's pad byte.
    std::uint64_t end = 0;
    MoviEnd how = MoviEnd::FileEnd;
};

// The stream of a data chunk ("00dc", "01wb", ...); -1 for any other.
int streamOf(FourCc id, const Layout& layout) {
    const char tens = char(id & 0xFF);
    const char ones = char((id >> 8) & 0xFF);
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
        return -1;
    const std::array<char, 2> letters{char((id >> 16) & 0xFF), char(id >> 24)};
    const std::string_view kind(letters.data(), letters.size());
    const int stream = (tens - '0') * 10 + (ones - '0');
    if (stream >= int(layout.streams.size()))
        return -1;
    for (const std::string_view known : {"dc", "db", "wb", "pc", "tx"}) {
        if (kind == known)
            return stream;
    }
    return -1;
}

// OpenDML's standard index chunks ("ix00") and padding belong in a movi list, but are no data.
bool isFiller(FourCc id) {
    return id == kJunk || (char(id & 0xFF) == 'i' && char((id >> 8) & 0xFF) == 'x');
}

bool zeroFrom(const File& file, std::uint64_t at) {
    Bytes block(
        std::size_t(std::min<std::uint64_t>(kCopyBlock, file.size() - std::min(at, file.size()))));
    while (at < file.size()) {
        const std::size_t count =
            std::size_t(std::min<std::uint64_t>(block.size(), file.size() - at));
        if (!file.read(at, block.data(), count) ||
            std::any_of(block.begin(), block.begin() + std::ptrdiff_t(count),
                        [](std::uint8_t byte) { return byte != 0; })) {
            return false;
        }
        at += count;
    }
    return true;
}

// Where an MPEG-4 picture's VOP begins within the bytes read of it.
std::optional<std::size_t> vopStart(const std::uint8_t* bytes, std::size_t count) {
    const std::uint8_t* end = bytes + count;
    const std::uint8_t* found = std::search(bytes, end, std::begin(kVopStart), std::end(kVopStart));
    if (found == end)
        return std::nullopt;
    return std::size_t(found - bytes);
}

bool isKeyPicture(const File& file, const Chunk& chunk) {
    std::array<std::uint8_t, kVopSearchBytes> bytes{};
    const std::size_t count = std::min<std::size_t>(chunk.size, bytes.size());
    if (!file.read(chunk.at + 8, bytes.data(), count))
        return false;
    const std::optional<std::size_t> vop = vopStart(bytes.data(), count);
    // vop_coding_type, the two bits after the start code: 0 is an intra-coded picture.
    return vop && *vop + 4 < count && (bytes[*vop + 4] >> 6) == 0;
}

Movi readMovi(const File& file, const Layout& layout, std::uint64_t from) {
    Movi movi;
    std::uint64_t at = from;
    for (;;) {
        movi.end = at;
        if (at >= file.size()) {
            movi.how = MoviEnd::FileEnd;
            return movi;
        }
        std::uint8_t head[8];
        if (!file.read(at, head, sizeof head)) {
            movi.how = MoviEnd::Cut;
            return movi;
        }
        const Chunk chunk{.at = at, .id = readLe32(head), .size = readLe32(head + 4)};
        if (chunk.id == kIdx1) {
            movi.how = chunk.end() < file.size() ? MoviEnd::Beyond : MoviEnd::Index;
            return movi;
        }
        const int stream = streamOf(chunk.id, layout);
        if (stream < 0 && !isFiller(chunk.id)) {
            movi.how = zeroFrom(file, at) ? MoviEnd::Cut : MoviEnd::Unreadable;
            return movi;
        }
        if (at + 8 + chunk.size > file.size()) {
            movi.how = MoviEnd::Cut;
            return movi;
        }
        if (stream >= 0) {
            Chunk data = chunk;
            data.stream = stream;
            const Stream& kind = layout.streams[std::size_t(stream)];
            data.key = kind.type != kVids || !kind.mpeg4 || isKeyPicture(file, data);
            movi.chunks.push_back(data);
        }
        at = chunk.end();
    }
}

std::string unreadableReason(const Movi& movi) {
    switch (movi.how) {
        case MoviEnd::Unreadable:
            return "unreadable data at byte " + std::to_string(movi.end);
        case MoviEnd::Beyond:
            return "more than one RIFF part (over 1 GB)";
        default:
            return {};
    }
}

struct Totals {
    std::vector<std::uint64_t> chunks;
    std::vector<std::uint64_t> bytes;
    std::int64_t pictures = 0;
};

Totals totalsOf(const Layout& layout, const std::vector<Chunk>& chunks, std::size_t count) {
    Totals totals{std::vector<std::uint64_t>(layout.streams.size()),
                  std::vector<std::uint64_t>(layout.streams.size())};
    for (std::size_t chunk = 0; chunk < count; ++chunk) {
        totals.chunks[std::size_t(chunks[chunk].stream)] += 1;
        totals.bytes[std::size_t(chunks[chunk].stream)] += chunks[chunk].size;
    }
    totals.pictures = std::int64_t(totals.chunks[std::size_t(layout.video)]);
    return totals;
}

// The header with the sizes and counts of a file whose movi list holds `moviBytes` after its
// type and whose index takes `indexBytes` with its chunk header.
Bytes headerFor(const Layout& layout, const Totals& totals, std::uint64_t moviBytes,
                std::uint64_t indexBytes) {
    Bytes header = layout.header;
    writeLe32(header.data() + 4, std::uint32_t(header.size() - 8 + moviBytes + indexBytes));
    writeLe32(header.data() + layout.moviAt + 4, std::uint32_t(4 + moviBytes));
    bool sound = false;
    for (std::size_t stream = 0; stream < layout.streams.size(); ++stream) {
        const Stream& kind = layout.streams[stream];
        std::uint64_t length = totals.chunks[stream];
        if (kind.type == kAuds) {
            sound = true;
            const std::uint32_t align = kind.blockAlign > 0 ? kind.blockAlign : kind.sampleSize;
            if (kind.sampleSize > 0 && align > 0)
                length = totals.bytes[stream] / align;
        }
        writeLe32(header.data() + kind.headerAt + 32, std::uint32_t(length));
    }
    std::uint8_t* avih = header.data() + layout.avihAt;
    writeLe32(avih + 12, readLe32(avih + 12) | kHasIndex | (sound ? kIsInterleaved : 0));
    writeLe32(avih + 16, std::uint32_t(totals.pictures));
    if (layout.dmlhAt != 0)
        writeLe32(header.data() + layout.dmlhAt, std::uint32_t(totals.pictures));
    return header;
}

// "idx1" with an entry per chunk, each at `offsetOf` it from the movi list's type.
template <typename OffsetOf>
Bytes indexFor(const std::vector<Chunk>& chunks, std::size_t count, OffsetOf offsetOf) {
    Bytes index;
    index.reserve(8 + 16 * count);
    appendLe32(index, kIdx1);
    appendLe32(index, std::uint32_t(16 * count));
    for (std::size_t chunk = 0; chunk < count; ++chunk) {
        appendLe32(index, chunks[chunk].id);
        appendLe32(index, chunks[chunk].key ? kKeyFrame : 0);
        appendLe32(index, std::uint32_t(offsetOf(chunk)));
        appendLe32(index, chunks[chunk].size);
    }
    return index;
}

AviRepair hopeless(std::string reason) {
    return {.outcome = AviRepair::Outcome::Hopeless, .reason = std::move(reason)};
}

constexpr std::uint64_t kMaxRiffBytes = std::numeric_limits<std::uint32_t>::max();

AviPart failedPart(std::uint64_t from, std::string reason) {
    return {.outcome = AviPart::Outcome::Failed, .next = from, .reason = std::move(reason)};
}

// What a decoder needs before the clip's first VOP (MPEG-4's visual object sequence and
// object layer), which a part that begins later lacks; empty for any other compression.
Bytes streamConfiguration(const File& file, const Layout& layout) {
    if (!layout.streams[std::size_t(layout.video)].mpeg4)
        return {};
    // The first picture comes after the sound of the first moments, if any.
    std::uint64_t at = layout.firstChunk();
    for (std::uint8_t head[8]; file.read(at, head, sizeof head);) {
        const FourCc id = readLe32(head);
        const std::uint32_t size = readLe32(head + 4);
        if (streamOf(id, layout) == layout.video) {
            Bytes bytes(std::min<std::size_t>(size, kVopSearchBytes));
            if (!file.read(at + 8, bytes.data(), bytes.size()))
                return {};
            bytes.resize(vopStart(bytes.data(), bytes.size()).value_or(0));
            return bytes;
        }
        if (streamOf(id, layout) < 0 && !isFiller(id))
            return {};
        at += 8 + padded(size);
    }
    return {};
}

// Writes the part into a file of its own that appears at `path` only whole.
class PartFile {
public:
    explicit PartFile(const std::string& path) : m_path(path), m_temporary(path + ".XXXXXX") {
        m_descriptor = ::mkostemp(m_temporary.data(), O_CLOEXEC);
        m_made = m_descriptor >= 0;
    }
    ~PartFile() {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        // Only a file made here: a name tried in vain may be another's.
        if (m_made && !m_kept)
            ::unlink(m_temporary.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool append(const std::uint8_t* bytes, std::size_t count) {
        if (m_descriptor < 0 || !writeAll(m_descriptor, bytes, count, m_written))
            return false;
        m_written += count;
        return true;
    }
    bool append(const Bytes& bytes) { return append(bytes.data(), bytes.size()); }
    // The clip's bytes [begin, end); what lies past its end (a last pad byte) as zeros.
    bool copy(const File& clip, std::uint64_t begin, std::uint64_t end) {
        Bytes block(std::size_t(std::min<std::uint64_t>(kCopyBlock, end - std::min(begin, end))));
        for (std::uint64_t at = begin; at < end;) {
            const std::size_t count = std::size_t(std::min<std::uint64_t>(block.size(), end - at));
            const std::size_t present =
                at < clip.size() ? std::size_t(std::min<std::uint64_t>(count, clip.size() - at))
                                 : 0;
            std::fill(block.begin(), block.begin() + std::ptrdiff_t(count), 0);
            if (!clip.read(at, block.data(), present) || !append(block.data(), count))
                return false;
            at += count;
        }
        return true;
    }
    bool keep() {
        if (m_descriptor < 0 || ::close(m_descriptor) != 0) {
            m_descriptor = -1;
            return false;
        }
        m_descriptor = -1;
        m_kept = ::rename(m_temporary.c_str(), m_path.c_str()) == 0;
        return m_kept;
    }

private:
    std::string m_path;
    std::string m_temporary;
    int m_descriptor = -1;
    std::uint64_t m_written = 0;
    bool m_made = false;
    bool m_kept = false;
};

}  // namespace

AviState aviState(const std::string& path) {
    const File file(path, O_RDONLY);
    std::uint8_t riff[12];
    if (!file.isOpen() || !file.read(0, riff, sizeof riff) || readLe32(riff) != kRiff ||
        readLe32(riff + 8) != kAvi) {
        return AviState::NoAvi;
    }
    const std::optional<Layout> layout = readLayout(file);
    return layout && finished(file, *layout) ? AviState::Finished : AviState::Unfinished;
}

AviRepair repairAvi(const std::string& path) {
    const File file(path, O_RDWR);
    if (!file.isOpen())
        return hopeless("not a plain file that can be written: " + errorText());
    if (::flock(file.descriptor(), LOCK_EX | LOCK_NB) != 0)
        return {.outcome = AviRepair::Outcome::InUse};
    const std::optional<Layout> layout = readLayout(file);
    if (!layout)
        return hopeless("no AVI header");
    if (finished(file, *layout))
        return {.outcome = AviRepair::Outcome::Whole};
    const Movi movi = readMovi(file, *layout, layout->firstChunk());
    if (const std::string reason = unreadableReason(movi); !reason.empty())
        return hopeless(reason);
    const Totals totals = totalsOf(*layout, movi.chunks, movi.chunks.size());
    if (totals.pictures == 0)
        return hopeless("no whole picture");
    const std::uint64_t moviData = layout->moviAt + 8;
    const Bytes index = indexFor(movi.chunks, movi.chunks.size(), [&](std::size_t chunk) {
        return movi.chunks[chunk].at - moviData;
    });
    if (movi.end + index.size() - 8 > kMaxRiffBytes)
        return hopeless("larger than 4 GB");
    const int descriptor = file.descriptor();
    // Only what follows the last whole chunk goes: a chunk cut off, zero bytes, or an index
    // that a repair before this one did not finish.
    if (file.size() != movi.end && ::ftruncate(descriptor, off_t(movi.end)) != 0)
        return hopeless("shortening: " + errorText());
    // An index written only in part is no worse than none: the next attempt writes it anew.
    if (!writeAll(descriptor, index.data(), index.size(), movi.end) || ::fdatasync(descriptor) != 0)
        return hopeless("index: " + errorText());
    const Bytes header = headerFor(*layout, totals, movi.end - layout->firstChunk(), index.size());
    if (!writeAll(descriptor, header.data(), header.size(), 0) || ::fdatasync(descriptor) != 0)
        return hopeless("header: " + errorText());
    return {.outcome = AviRepair::Outcome::Repaired,
            .pictures = totals.pictures,
            .seconds = layout->secondsOf(totals.pictures)};
}

AviPart writeAviPart(const std::string& clipPath, std::uint64_t from, const std::string& partPath,
                     double minSeconds, bool toEnd) {
    const File file(clipPath, O_RDONLY);
    if (!file.isOpen())
        return failedPart(from, "the clip cannot be read: " + errorText());
    const std::optional<Layout> layout = readLayout(file);
    // The muxer writes its header first: until it is on the disk there is nothing to take.
    if (!layout)
        return {.next = from};
    const std::uint64_t begin = from == 0 ? layout->firstChunk() : from;
    if (begin < layout->firstChunk())
        return failedPart(from, "no chunk begins at byte " + std::to_string(from));
    const Movi movi = readMovi(file, *layout, begin);
    if (movi.how == MoviEnd::Unreadable)
        return failedPart(from, unreadableReason(movi));
    const std::vector<Chunk>& chunks = movi.chunks;
    const auto isPicture = [&](const Chunk& chunk) { return chunk.stream == layout->video; };
    const auto firstPicture = std::find_if(chunks.begin(), chunks.end(), isPicture);
    std::size_t taken = chunks.size();
    if (!toEnd) {
        // The next part begins with a key picture, and this one holds at least one picture.
        const auto lastKey = std::find_if(chunks.rbegin(), chunks.rend(), [&](const Chunk& chunk) {
            return isPicture(chunk) && chunk.key;
        });
        if (firstPicture == chunks.end() || lastKey == chunks.rend() ||
            lastKey.base() - 1 <= firstPicture) {
            return {.next = begin};
        }
        taken = std::size_t(lastKey.base() - 1 - chunks.begin());
    }
    const Totals totals = totalsOf(*layout, chunks, taken);
    const double seconds = layout->secondsOf(totals.pictures);
    if (totals.pictures == 0 || (!toEnd && seconds < minSeconds))
        return {.next = begin};
    const std::uint64_t end = taken < chunks.size() ? chunks[taken].at : movi.end;

    // A part after the first gets the configuration before its first picture, which is a key
    // picture: it is the chunk where the part before it stopped.
    Bytes configuration;
    if (begin != layout->firstChunk())
        configuration = streamConfiguration(file, *layout);
    const Chunk& first = *firstPicture;
    const std::uint64_t firstSize = first.size + configuration.size();
    const std::uint64_t shift = padded(firstSize) - padded(first.size);
    const std::uint64_t moviBytes = end - begin + shift;
    const Bytes index = indexFor(chunks, taken, [&](std::size_t chunk) {
        return chunks[chunk].at - begin + 4 + (chunks[chunk].at > first.at ? shift : 0);
    });
    if (layout->header.size() + moviBytes + index.size() - 8 > kMaxRiffBytes)
        return failedPart(from, "larger than 4 GB");

    PartFile part(partPath);
    Bytes firstHead;
    appendLe32(firstHead, first.id);
    appendLe32(firstHead, std::uint32_t(firstSize));
    firstHead.insert(firstHead.end(), configuration.begin(), configuration.end());
    const Bytes pad(padded(firstSize) - firstSize, 0);
    const bool written = part.append(headerFor(*layout, totals, moviBytes, index.size())) &&
                         part.copy(file, begin, first.at) && part.append(firstHead) &&
                         part.copy(file, first.at + 8, first.at + 8 + first.size) &&
                         part.append(pad) && part.copy(file, first.end(), end) &&
                         part.append(index) && part.keep();
    if (!written)
        return failedPart(from, partPath + ": " + errorText());
    return {.outcome = AviPart::Outcome::Written,
            .next = end,
            .pictures = totals.pictures,
            .seconds = seconds};
}
