#include "outputs/ftpupload.h"

#include <QLoggingCategory>

#include <algorithm>

#include "outputs/curltransfer.h"

Q_LOGGING_CATEGORY(uploadLog, "sentello.upload", QtWarningMsg)

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAgent = "Sentello";
constexpr const char* kFtpPort = "21";

std::string escapedPath(CURL* easy, const std::string& name) {
    std::string path;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = name.find('/', start);
        const std::string part = name.substr(start, slash - start);
        char* escaped = curl_easy_escape(easy, part.c_str(), static_cast<int>(part.size()));
        path += escaped ? escaped : "";
        curl_free(escaped);
        if (slash == std::string::npos)
            return path;
        path += '/';
        start = slash + 1;
    }
}

// The server field as host and port, 21 unless it names one; a bare IPv6 address goes into
// brackets, one with a port is typed so already ("[::1]:2121").
std::string hostAndPort(const std::string& server) {
    const std::size_t colon = server.rfind(':');
    const std::size_t bracket = server.rfind(']');
    const bool bracketed = server.starts_with('[');
    const bool severalColons = colon != std::string::npos && server.find(':') != colon;
    if (!bracketed && severalColons)
        return '[' + server + "]:" + kFtpPort;
    const bool namesPort = colon != std::string::npos && colon + 1 < server.size() &&
                           (!bracketed || (bracket != std::string::npos && bracket < colon));
    if (namesPort)
        return server;
    const bool emptyPort = colon != std::string::npos && colon + 1 == server.size();
    return (emptyPort ? server.substr(0, colon) : server) + ':' + kFtpPort;
}

// Notes why the upload failed, for the debug log and the caller.
bool failed(UploadFailure why, UploadFailure* failure) {
    qCDebug(uploadLog).noquote() << "upload failed:"
                                 << QString::fromStdString(why.step) + ": " +
                                        QString::fromStdString(why.reason) + " (" +
                                        QString::fromStdString(why.detail) + ")";
    if (failure)
        *failure = std::move(why);
    return false;
}

// What went wrong, in the words of the "Internet" tab.
const char* reasonInWords(CURLcode result, bool connecting) {
    // Once logged in, only the connection for the picture itself is made.
    if (result == CURLE_COULDNT_CONNECT && !connecting)
        return "keine Datenverbindung";
    const char* words = transferFailureWords(result);
    return words ? words : "FTP-Fehler";
}

// One request, within what is left of the whole upload's time.
bool perform(CURL* easy, const char* step, Clock::time_point deadline, UploadFailure* failure) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return failed({step, "keine Antwort vom Server", "no time left"}, failure);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
    char detail[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, detail);
    const CURLcode result = curl_easy_perform(easy);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    if (result == CURLE_OK)
        return true;
    return failed({step, reasonInWords(result, std::string_view(step) == "connect"),
                   detail[0] ? detail : curl_easy_strerror(result)},
                  failure);
}

}  // namespace

std::string ftpAddress(const FtpTarget& target) {
    // A port alone names no host.
    if (target.server.empty() ||
        (target.server.starts_with(':') && !target.server.starts_with("::")))
        return {};
    const CurlEasy easy = newCurlEasy();
    if (!easy)
        return {};
    return "ftp://" + hostAndPort(target.server) + '/' + escapedPath(easy.get(), target.remoteName);
}

bool uploadFile(const FtpTarget& target, std::string_view picture, std::chrono::milliseconds limit,
                const std::atomic<bool>* cancelled, UploadFailure* failure) {
    const Clock::time_point deadline = Clock::now() + limit;
    const std::string address = ftpAddress(target);
    if (address.empty())
        return failed({"connect", "kein Server angegeben", "no server given"}, failure);
    const CurlEasy easy = newCurlEasy();
    if (!easy)
        return failed({"connect", "FTP-Fehler", "no connection can be made"}, failure);
    CURL* e = easy.get();
    const long seconds = std::max<long>(1, static_cast<long>((limit.count() + 999) / 1000));
    curl_easy_setopt(e, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limit.count()));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
    // A transfer that stands still counts as a server that does not answer.
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, seconds);
    stopWhen(e, cancelled);
    curl_easy_setopt(e, CURLOPT_FTP_USE_EPSV, 0L);  // passive mode as PASV, as servers expect
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);
    if (!target.user.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, target.user.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, target.password.c_str());
    }

    // First the connection and the login alone (the server's folder, no transfer); the same
    // connection then carries the put.
    const std::string folder = address.substr(0, address.find('/', 6) + 1);
    curl_easy_setopt(e, CURLOPT_URL, folder.c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (!perform(e, "connect", deadline, failure))
        return false;

    // A name that ends in its folder names no file; the server would take the folder's name.
    if (target.remoteName.empty() || target.remoteName.ends_with('/'))
        return failed({"put", "kein Dateiname angegeben", "no file name given"}, failure);
    CurlReading reading{picture};
    curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(e, CURLOPT_URL, address.c_str());
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, readCurlReading);
    curl_easy_setopt(e, CURLOPT_READDATA, &reading);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(picture.size()));
    return perform(e, "put", deadline, failure);
}
