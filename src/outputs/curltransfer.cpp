#include "outputs/curltransfer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "settings/utf8.h"

namespace {

constexpr long kConnectSeconds = 10;
constexpr std::size_t kServerTextBytes = 200;

bool isCertificateFailure(CURLcode result) {
    switch (result) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return true;
        default:
            return false;
    }
}

// The words of a failed delivery of the remote alarm.
const char* reasonInWords(CURLcode result) {
    if (const char* words = transferFailureWords(result))
        return words;
    switch (result) {
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "Adresse des Servers ungültig";
        case CURLE_USE_SSL_FAILED:
            return "Server bietet keine Verschlüsselung an";
        case CURLE_SSL_CONNECT_ERROR:
            return "verschlüsselte Verbindung gescheitert";
        case CURLE_OUT_OF_MEMORY:
            return "kein Speicher frei";
        default:
            return isCertificateFailure(result) ? "Zertifikat des Servers nicht anerkannt"
                                                : "Übertragung gescheitert";
    }
}

CURLcode guardContext(CURL*, void* context, void* pin) {
    return static_cast<CertificatePin*>(pin)->guard(static_cast<SSL_CTX*>(context))
               ? CURLE_OK
               : CURLE_SSL_CONNECT_ERROR;
}

}  // namespace

CurlEasy newCurlEasy() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlEasy(curl_easy_init());
}

std::size_t readCurlReading(char* buffer, std::size_t size, std::size_t count, void* reading) {
    auto* bytes = static_cast<CurlReading*>(reading);
    const std::size_t taken = std::min(size * count, bytes->rest.size());
    std::memcpy(buffer, bytes->rest.data(), taken);
    bytes->rest.remove_prefix(taken);
    return taken;
}

const char* transferFailureWords(CURLcode result) {
    switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return "Server nicht erreicht";
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_ACCEPT_FAILED:
            return "keine Datenverbindung";
        case CURLE_LOGIN_DENIED:
            return "Anmeldung abgelehnt";
        case CURLE_REMOTE_ACCESS_DENIED:
            return "Ordner abgelehnt";
        case CURLE_UPLOAD_FAILED:
            return "Datei abgelehnt";
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_FTP_ACCEPT_TIMEOUT:
            return "keine Antwort vom Server";
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return "Verbindung abgebrochen";
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
            return "unverständliche Antwort des Servers";
        default:
            return nullptr;
    }
}

bool appendToList(CurlList& list, const std::string& line) {
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (!longer)
        return false;
    static_cast<void>(list.release());
    list.reset(longer);
    return true;
}

void limitAndVerify(CURL* easy, std::chrono::seconds stall, CertificatePin& pin) {
    const long seconds = static_cast<long>(stall.count());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    // libcurl checks the name itself after the handshake, knowing nothing of the pin, and would
    // refuse a pinned certificate made out to another name (a home server's certificate names
    // what its maker chose, seldom the address it is reached by). The pin's own check in the
    // handshake holds every other certificate to the name, so libcurl's is left out where a pin
    // is set, and kept where none is.
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, pin.pinned().empty() ? 2L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, guardContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &pin);
}

void stopWhen(CURL* easy, const std::atomic<bool>* stop) {
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(
        easy, CURLOPT_XFERINFOFUNCTION,
        +[](void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
            return flag && static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
        });
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, stop);
}

std::string printableServerText(std::string_view text) {
    std::string printable;
    for (std::size_t at = 0; at < text.size() && printable.size() < kServerTextBytes;) {
        const Utf8Character character = firstUtf8Character(text.substr(at));
        if (character.length == 0) {
            printable += '?';
            ++at;
            continue;
        }
        const bool control = character.codePoint < 0x20 || character.codePoint == 0x7f ||
                             (character.codePoint >= 0x80 && character.codePoint < 0xa0);
        if (control)
            printable += ' ';
        else
            printable.append(text.substr(at, character.length));
        at += character.length;
    }
    while (!printable.empty() && printable.back() == ' ')
        printable.pop_back();
    return printable;
}

Delivery failedTransfer(CURLcode result, std::string_view serverText, const CertificatePin& pin) {
    if (!pin.refusedCertificate().empty())
        return pin.refusal();
    const bool refused = result == CURLE_LOGIN_DENIED || result == CURLE_USE_SSL_FAILED ||
                         isCertificateFailure(result);
    const std::string said = printableServerText(serverText);
    if (said.empty())
        return {refused ? Delivery::Outcome::Refused : Delivery::Outcome::TryAgain,
                reasonInWords(result),
                {}};
    // libcurl names a refused command as a failure to send; the server's words say more.
    const std::string words = refused ? reasonInWords(result) : "Server lehnt ab";
    return {refused ? Delivery::Outcome::Refused : Delivery::Outcome::TryAgain,
            words + " (" + said + ")",
            {}};
}
