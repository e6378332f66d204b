#include "outputs/copysender.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "outputs/base64.h"
#include "outputs/curltransfer.h"

namespace {

constexpr std::string_view kTemporary = ".tmp";
constexpr std::string_view kClipSuffix = ".avi";
constexpr std::string_view kPartWord = ".teil";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The host key the server showed, checked against the pinned one in the handshake.
struct HostKeyCheck {
    std::string pinned;
    std::string shown;
};

int checkHostKey(void* check, int, const char* key, std::size_t length) {
    auto* hostKey = static_cast<HostKeyCheck*>(check);
    hostKey->shown = hostKeyFingerprint(std::string_view(key, length));
    return !hostKey->pinned.empty() && hostKey->pinned == hostKey->shown ? CURLKHMATCH_OK
                                                                         : CURLKHMATCH_MISMATCH;
}

std::string stem(const std::string& clipPath) {
    std::string name = std::filesystem::path(clipPath).filename().string();
    if (name.ends_with(kClipSuffix))
        name.resize(name.size() - kClipSuffix.size());
    return name;
}

std::string trimmedSlashes(std::string text) {
    while (text.ends_with('/'))
        text.pop_back();
    return text;
}

// The server's folder, as the protocol names it, with requests to it one after another over
// one connection.
class Session {
public:
    Session(const CopyTarget& target, std::chrono::seconds stall, const std::atomic<bool>& stop,
            CURL* easy)
        : m_target(target),
          m_stall(stall),
          m_stop(stop),
          m_easy(easy),
          m_pin(target.protocol == CopyProtocol::Ftps ? target.fingerprint : std::string(),
                target.server),
          m_hostKey{target.fingerprint, {}} {}

    bool sftp() const { return m_target.protocol == CopyProtocol::Sftp; }

    // The folder's path below the login's: the folder, and the day's folder when given.
    std::string folderPath(const std::string& day) const {
        std::string path = trimmedSlashes(m_target.folder);
        if (!sftp())
            while (path.starts_with('/'))
                path.erase(0, 1);
        if (!day.empty())
            path += (path.empty() || path.ends_with('/') ? "" : "/") + day;
        return path;
    }

    // A name in the folder as an SFTP command names it, quoted: absolute, or relative, which
    // the server takes as below the home folder (libcurl's "/~/" holds only unquoted).
    std::string commandPath(const std::string& folder, const std::string& name) const {
        std::string path = folder.empty() || folder.ends_with('/') ? folder : folder + "/";
        path += name;
        std::string quoted = "\"";
        for (const char c : path) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        return quoted + '"';
    }

    std::string address(const std::string& folder, const std::string& name) const {
        const bool ipv6 = m_target.server.find(':') != std::string::npos;
        std::string url = std::string(sftp() ? "sftp" : "ftp") + "://" +
                          (ipv6 ? "[" + m_target.server + "]" : m_target.server) + ":" +
                          std::to_string(m_target.port) + "/";
        if (sftp() && !folder.starts_with('/'))
            url += "~/";
        std::size_t start = folder.starts_with('/') ? 1 : 0;
        while (start < folder.size()) {
            const std::size_t slash = std::min(folder.find('/', start), folder.size());
            if (slash > start)
                url += escaped(folder.substr(start, slash - start)) + "/";
            start = slash + 1;
        }
        return url + escaped(name);
    }

    // The names in the folder; none in a folder not there yet.
    std::optional<std::vector<std::string>> list(const std::string& folder, Delivery& failure) {
        std::string listing;
        prepare(address(folder, {}));
        curl_easy_setopt(m_easy, CURLOPT_DIRLISTONLY, 1L);
        curl_easy_setopt(
            m_easy, CURLOPT_WRITEFUNCTION,
            +[](char* bytes, std::size_t size, std::size_t count, void* into) {
                static_cast<std::string*>(into)->append(bytes, size * count);
                return size * count;
            });
        curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &listing);
        const CURLcode result = curl_easy_perform(m_easy);
        if (result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_REMOTE_ACCESS_DENIED)
            return std::vector<std::string>{};
        if (result != CURLE_OK) {
            failure = failed(result);
            return std::nullopt;
        }
        std::vector<std::string> names;
        std::size_t start = 0;
        while (start < listing.size()) {
            const std::size_t end = std::min(listing.find('\n', start), listing.size());
            std::string name = listing.substr(start, end - start);
            if (name.ends_with('\r'))
                name.pop_back();
            if (!name.empty() && name != "." && name != "..")
                names.push_back(std::move(name));
            start = end + 1;
        }
        return names;
    }

    // Puts the bytes (`bytes`, or those of `file` when given) under a temporary name into the
    // folder, made when missing, and renames them to `name` once whole.
    Delivery put(const std::string& folder, const std::string& name, std::string_view bytes,
                 std::FILE* file, curl_off_t size) {
        const std::string temporary = name + std::string(kTemporary);
        CurlList after;
        const bool listed =
            sftp() ? appendToList(after, "*rm " + commandPath(folder, name)) &&
                         appendToList(after, "rename " + commandPath(folder, temporary) + " " +
                                                 commandPath(folder, name))
                   : appendToList(after, "*DELE " + name) &&
                         appendToList(after, "RNFR " + temporary) &&
                         appendToList(after, "RNTO " + name);
        if (!listed)
            return {Delivery::Outcome::TryAgain, "kein Speicher frei", {}};
        CurlReading reading{bytes};
        prepare(address(folder, temporary));
        curl_easy_setopt(m_easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_easy, CURLOPT_FTP_CREATE_MISSING_DIRS, CURLFTP_CREATE_DIR_RETRY);
        if (file) {
            curl_easy_setopt(m_easy, CURLOPT_READDATA, file);
        } else {
            curl_easy_setopt(m_easy, CURLOPT_READFUNCTION, readCurlReading);
            curl_easy_setopt(m_easy, CURLOPT_READDATA, &reading);
        }
        curl_easy_setopt(m_easy, CURLOPT_INFILESIZE_LARGE, size);
        curl_easy_setopt(m_easy, CURLOPT_POSTQUOTE, after.get());
        return performed();
    }

    // Removes the names from the folder.
    Delivery remove(const std::string& folder, const std::vector<std::string>& names) {
        if (names.empty())
            return {Delivery::Outcome::Delivered, {}, {}};
        CurlList commands;
        for (const std::string& name : names)
            if (!appendToList(commands,
                              sftp() ? "*rm " + commandPath(folder, name) : "*DELE " + name))
                return {Delivery::Outcome::TryAgain, "kein Speicher frei", {}};
        prepare(address(folder, {}));
        curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(m_easy, CURLOPT_POSTQUOTE, commands.get());
        return performed();
    }

    // Writes a small file into the folder and removes it again.
    Delivery test(const std::string& name) {
        const std::string folder = folderPath({});
        CurlList after;
        if (!appendToList(after, sftp() ? "rm " + commandPath(folder, name) : "DELE " + name))
            return {Delivery::Outcome::TryAgain, "kein Speicher frei", {}};
        static constexpr std::string_view kText = "Sentello: Verbindungstest\n";
        CurlReading reading{kText};
        prepare(address(folder, name));
        curl_easy_setopt(m_easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_easy, CURLOPT_FTP_CREATE_MISSING_DIRS, CURLFTP_CREATE_DIR_RETRY);
        curl_easy_setopt(m_easy, CURLOPT_READFUNCTION, readCurlReading);
        curl_easy_setopt(m_easy, CURLOPT_READDATA, &reading);
        curl_easy_setopt(m_easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(kText.size()));
        curl_easy_setopt(m_easy, CURLOPT_POSTQUOTE, after.get());
        return performed();
    }

private:
    std::string escaped(const std::string& part) const {
        char* text = curl_easy_escape(m_easy, part.c_str(), static_cast<int>(part.size()));
        std::string result = text ? text : "";
        curl_free(text);
        return result;
    }

    // A request's options anew, on the handle whose connection carries on.
    void prepare(const std::string& url) {
        curl_easy_reset(m_easy);
        limitAndVerify(m_easy, m_stall, m_pin);
        stopWhen(m_easy, &m_stop);
        curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, sftp() ? "sftp" : "ftp");
        curl_easy_setopt(m_easy, CURLOPT_TRANSFERTEXT, 0L);
        if (!m_target.user.empty()) {
            curl_easy_setopt(m_easy, CURLOPT_USERNAME, m_target.user.c_str());
            curl_easy_setopt(m_easy, CURLOPT_PASSWORD, m_target.password.c_str());
        }
        if (m_target.protocol == CopyProtocol::Ftps)
            curl_easy_setopt(m_easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (sftp()) {
            curl_easy_setopt(m_easy, CURLOPT_SSH_HOSTKEYFUNCTION, checkHostKey);
            curl_easy_setopt(m_easy, CURLOPT_SSH_HOSTKEYDATA, &m_hostKey);
            long methods = CURLSSH_AUTH_PASSWORD;
            if (const std::string key = ownKey(); !key.empty()) {
                m_keyFile = key;
                curl_easy_setopt(m_easy, CURLOPT_SSH_PRIVATE_KEYFILE, m_keyFile.c_str());
                curl_easy_setopt(m_easy, CURLOPT_KEYPASSWD, m_target.password.c_str());
                methods |= CURLSSH_AUTH_PUBLICKEY;
            }
            curl_easy_setopt(m_easy, CURLOPT_SSH_AUTH_TYPES, methods);
        }
    }

    static std::string ownKey() {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return {};
        for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
            const std::filesystem::path key = std::filesystem::path(home) / ".ssh" / name;
            std::error_code error;
            if (std::filesystem::is_regular_file(key, error))
                return key.string();
        }
        return {};
    }

    Delivery performed() {
        const CURLcode result = curl_easy_perform(m_easy);
        return result == CURLE_OK ? Delivery{Delivery::Outcome::Delivered, {}, {}} : failed(result);
    }

    Delivery failed(CURLcode result) const {
        // The key shown goes into the words too, for the event log.
        if (sftp() && !m_hostKey.shown.empty() && m_hostKey.shown != m_hostKey.pinned)
            return {Delivery::Outcome::Refused,
                    std::string(m_hostKey.pinned.empty()
                                    ? "Schlüssel des Servers unbekannt"
                                    : "Schlüssel des Servers ist nicht der gespeicherte") +
                        " (" + m_hostKey.shown + ")",
                    m_hostKey.shown};
        return failedTransfer(result, {}, m_pin);
    }

    const CopyTarget& m_target;
    const std::chrono::seconds m_stall;
    const std::atomic<bool>& m_stop;
    CURL* const m_easy;
    CertificatePin m_pin;
    HostKeyCheck m_hostKey;
    std::string m_keyFile;
};

Delivery copyClip(Session& session, const AlertMessage& message) {
    const WatchEvent& event = message.event;
    const bool part = event.count > 0;
    const std::string clip = part ? event.remoteName : event.clipPath;
    const File file(std::fopen(event.clipPath.c_str(), "rb"));
    std::error_code error;
    const auto size = std::filesystem::file_size(event.clipPath, error);
    // A part's file goes once the part is on the server (or its whole clip is): one that is
    // gone was delivered by a run that ended before it could say so.
    if ((!file || error) && part)
        return {Delivery::Outcome::Delivered, {}, {}};
    if (!file || error)
        return {Delivery::Outcome::Gone,
                "Video nicht mehr vorhanden: " +
                    std::filesystem::path(event.clipPath).filename().string(),
                {}};
    const std::string folder = session.folderPath(copyDayFolder(event.when));
    Delivery failure;
    const auto names = session.list(folder, failure);
    if (!names)
        return failure;
    const std::string whole = copyClipName(clip);
    const auto there = [&](const std::string& name) {
        return std::find(names->begin(), names->end(), name) != names->end();
    };
    if (part) {
        Delivery put{Delivery::Outcome::Delivered, {}, {}};
        if (!there(whole)) {
            put = session.put(folder, copyPartName(clip, static_cast<int>(event.count)), {},
                              file.get(), static_cast<curl_off_t>(size));
        }
        if (put.outcome == Delivery::Outcome::Delivered)
            std::filesystem::remove(event.clipPath, error);
        return put;
    }
    Delivery put = session.put(folder, whole, {}, file.get(), static_cast<curl_off_t>(size));
    if (put.outcome != Delivery::Outcome::Delivered)
        return put;
    const std::string partStem = stem(clip) + std::string(kPartWord);
    std::vector<std::string> parts;
    for (const std::string& name : *names)
        if (name.starts_with(partStem))
            parts.push_back(name);
    return session.remove(folder, parts);
}

}  // namespace

CopyTarget copyTargetOf(const CopyOptions& options, const std::string& uploadServer,
                        const std::string& uploadUser, const std::string& uploadPassword) {
    CopyTarget target{static_cast<CopyProtocol>(options.protocol),
                      options.server,
                      options.port,
                      options.user,
                      options.password,
                      options.folder,
                      options.fingerprint};
    if (target.protocol != CopyProtocol::Ftp)
        return target;
    if (target.server.empty()) {
        target.server = uploadServer;
        // "host:port", not an IPv6 address.
        const std::size_t colon = uploadServer.rfind(':');
        if (colon != std::string::npos && uploadServer.find(':') == colon) {
            target.server = uploadServer.substr(0, colon);
            const std::string port = uploadServer.substr(colon + 1);
            if (!port.empty() && port.size() <= 5 &&
                port.find_first_not_of("0123456789") == std::string::npos)
                target.port = std::clamp(std::stoi(port), 1, 65535);
        }
    }
    if (target.user.empty())
        target.user = uploadUser;
    if (target.password.empty())
        target.password = uploadPassword;
    return target;
}

std::string hostKeyFingerprint(std::string_view key) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(key.data(), key.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1)
        return {};
    std::string text =
        base64(std::string_view(reinterpret_cast<const char*>(digest.data()), length));
    while (text.ends_with('='))
        text.pop_back();
    return "SHA256:" + text;
}

std::string copyDayFolder(const DateFields& when) {
    return formatDateTemplate("%yyyy-%mm-%dd", when);
}

std::string copyPictureName(const AlertMessage& message) {
    const std::int64_t milliseconds = ((message.createdMs % 1000) + 1000) % 1000;
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "_%03d", static_cast<int>(milliseconds));
    return formatDateTemplate("Bild_Sentello_%yyyy%mm%dd%hh%ii%ss", message.event.when) + suffix +
           ".jpg";
}

std::string copyClipName(const std::string& clipPath) {
    return stem(clipPath) + std::string(kClipSuffix);
}

std::string copyPartName(const std::string& clipPath, int index) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index);
    return stem(clipPath) + std::string(kPartWord) + number + std::string(kClipSuffix);
}

CopySender::CopySender(CopyTarget target, std::chrono::seconds stall)
    : m_target(std::move(target)), m_stall(stall) {}

Delivery CopySender::send(const AlertMessage& message) {
    if (m_target.server.empty())
        return {Delivery::Outcome::Refused, "kein Server angegeben", {}};
    const CurlEasy easy = newCurlEasy();
    if (!easy)
        return {Delivery::Outcome::TryAgain, "kein Speicher frei", {}};
    Session session(m_target, m_stall, m_abandoned, easy.get());
    if (message.test)
        return session.test("sentello-test-" + message.id + ".txt");
    if (message.channel == AlertChannel::CopyClip)
        return copyClip(session, message);
    // A picture a full outbox dropped leaves nothing to copy.
    if (message.picture.empty())
        return {Delivery::Outcome::Delivered, {}, {}};
    return session.put(session.folderPath(copyDayFolder(message.event.when)),
                       copyPictureName(message), message.picture, nullptr,
                       static_cast<curl_off_t>(message.picture.size()));
}
