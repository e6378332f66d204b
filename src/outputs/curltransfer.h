#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "outputs/alertmessage.h"
#include "outputs/certificatepin.h"

// What Sentello's transfers share of libcurl: handles that free themselves, the bytes handed
// to an upload, the time limits and certificate checks of every transfer, and the user's words
// for how one failed.

struct CurlEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// A new handle, libcurl initialised once for the whole program before; null without memory.
CurlEasy newCurlEasy();

// Appends a line to a list; false without memory.
bool appendToList(CurlList& list, const std::string& line);

// The bytes an upload hands to libcurl piece by piece: CURLOPT_READFUNCTION with a
// CurlReading as CURLOPT_READDATA, which must outlive the transfer.
struct CurlReading {
    std::string_view rest;
};
std::size_t readCurlReading(char* buffer, std::size_t size, std::size_t count, void* reading);

// The German words for how a transfer failed that every transfer shares (the server not
// reached, the login refused, no answer, the connection broken, an FTP server's refusals);
// null for a failure they do not name, which each kind of transfer names in its own way.
const char* transferFailureWords(CURLcode result);

// Connecting takes at most 10 seconds; a transfer or a server's answer that stands still for
// `stall` ends it, so a stalled server never holds a channel for ever while a large attachment
// on a slow line still goes through. Certificates are always checked, as `pin` says (it must
// outlive the transfer); signals are never used.
void limitAndVerify(CURL* easy, std::chrono::seconds stall, CertificatePin& pin);

// Ends the transfer at its next step once `stop` is true (set from another thread), with
// CURLE_ABORTED_BY_CALLBACK; `stop` must outlive the transfer.
void stopWhen(CURL* easy, const std::atomic<bool>* stop);

// A server's text as the user may read it: line breaks and other control characters become
// spaces, bytes that are no UTF-8 "?", and it is cut after 200 bytes.
std::string printableServerText(std::string_view text);

// What a failed transfer means for the message: a refused login or certificate is Refused,
// anything else (no connection, no answer, a server's refusal) TryAgain, each with its reason
// in German words; `serverText`, the server's refusal when it gave one, follows them. A
// certificate the pin refused is named.
Delivery failedTransfer(CURLcode result, std::string_view serverText, const CertificatePin& pin);
