#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A media file a user named: only a regular file, opened without blocking and without ever
// opening what stands at the name when that is something else (a FIFO would wait for a writer,
// a device may never end or act on being opened, a folder has no bytes).
class MediaFile {
public:
    static std::optional<MediaFile> open(const std::string& path);

    MediaFile(MediaFile&& other) noexcept;
    MediaFile& operator=(MediaFile&& other) noexcept;
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;
    ~MediaFile();

    // The whole file; nothing when it holds more than `maxBytes` or cannot be read.
    std::optional<std::vector<std::uint8_t>> readAll(std::size_t maxBytes) const;
    // A name of this very file for as long as this object lives, whatever is put at the
    // user's name meanwhile.
    std::string openedPath() const;

private:
    explicit MediaFile(int descriptor) : m_descriptor(descriptor) {}

    int m_descriptor = -1;
};
