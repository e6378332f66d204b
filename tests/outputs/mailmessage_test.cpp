// The text of a remote alarm's mail: its German words, its headers and their encoding, its
// parts and what goes into them.

#include "outputs/mailmessage.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../tempfolder.h"
#include "alertmessages.h"
#include "outputs/alerttext.h"
#include "servertest.h"

namespace {

// The decoded text of encoded words as a mail reader joins them.
std::string decodedWords(const std::string& encoded) {
    std::string text;
    std::size_t at = 0;
    while ((at = encoded.find("=?UTF-8?B?", at)) != std::string::npos) {
        const std::size_t end = encoded.find("?=", at + 10);
        text += QByteArray::fromBase64(
                    QByteArray::fromStdString(encoded.substr(at + 10, end - at - 10)))
                    .toStdString();
        at = end + 2;
    }
    return text;
}

std::vector<std::string> linesOf(const std::string& mail) {
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < mail.size();) {
        const std::size_t end = mail.find("\r\n", begin);
        if (end == std::string::npos) {
            lines.push_back(mail.substr(begin));
            break;
        }
        lines.push_back(mail.substr(begin, end - begin));
        begin = end + 2;
    }
    return lines;
}

std::string headerOf(const std::string& mail, const std::string& name) {
    const std::vector<std::string> lines = linesOf(mail);
    for (std::size_t i = 0; i < lines.size() && !lines[i].empty(); ++i) {
        if (!lines[i].starts_with(name + ": "))
            continue;
        std::string value = lines[i].substr(name.size() + 2);
        for (std::size_t k = i + 1; k < lines.size() && lines[k].starts_with(' '); ++k)
            value += lines[k];
        return value;
    }
    return {};
}

// The Base64 lines after the part headers that follow `marker`, decoded.
std::string partAfter(const std::string& mail, const std::string& marker) {
    std::size_t at = mail.find(marker);
    if (at == std::string::npos)
        return {};
    at = mail.find("\r\n\r\n", at) + 4;
    const std::size_t end = mail.find("\r\n--", at);
    std::string base64;
    for (const std::string& line : linesOf(mail.substr(at, end - at)))
        base64 += line;
    return QByteArray::fromBase64(QByteArray::fromStdString(base64)).toStdString();
}

const MailAddresses kAddresses{"kamera@example.org", {"wache@example.org", "nachbar@example.org"}};

class InBerlin : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "Europe/Berlin", 1);
        ::tzset();
    }
    void TearDown() override {
        ::unsetenv("TZ");
        ::tzset();
    }
};

TEST(AlertText, TriggerInGermanWithTheHeldBackTriggers) {
    const std::vector<std::string> lines = alertLines(triggerMessage(""));
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "Zeit: 10.12.2026 05:55:13", "Profil: Garage Süd", "Veränderter Bildanteil: 37 %",
                  "Ereignis: Auslösung, 37 %, Video video-20261210-055513.avi",
                  "und 4 weitere Auslösungen"}));
    AlertMessage one = triggerMessage("");
    one.furtherTriggers = 1;
    EXPECT_EQ(alertLines(one).back(), "und 1 weitere Auslösung");
    one.furtherTriggers = 0;
    EXPECT_EQ(alertLines(one).back().rfind("Ereignis: ", 0), 0u);
    EXPECT_EQ(alertTitle(one), "Sentello: Bewegung erkannt");
}

TEST(AlertText, EveryKindHasItsTitleAndItsStableWord) {
    AlertMessage message = clipMessage("/home/wache/a.avi");
    EXPECT_EQ(alertTitle(message), "Sentello: Video fertig");
    EXPECT_EQ(alertEventWord(message), "clip_finished");
    EXPECT_EQ(alertClipName(message), "a.avi");
    message.event.kind = WatchEvent::Kind::CameraLost;
    EXPECT_EQ(alertTitle(message), "Sentello: Kamera verloren");
    EXPECT_EQ(alertEventWord(message), "camera_lost");
    EXPECT_EQ(alertClipName(message), "");
    message.event.kind = WatchEvent::Kind::WatchSwitched;
    message.event.on = true;
    EXPECT_EQ(alertTitle(message), "Sentello: Aufzeichnungs-Modus eingeschaltet");
    EXPECT_EQ(alertEventWord(message), "watch_on");
    message.event.kind = WatchEvent::Kind::UploadFailed;
    message.event.step = "connect";
    EXPECT_EQ(alertTitle(message), "Sentello: Upload fehlgeschlagen");
    EXPECT_EQ(alertLines(message).back(), "Ereignis: Upload fehlgeschlagen, connect");
    message.test = true;
    EXPECT_EQ(alertTitle(message), "Sentello: Testnachricht");
    EXPECT_EQ(alertEventWord(message), "test");
}

TEST(MailHeader, UmlautsGoIntoEncodedWordsOfAtMost75Characters) {
    const std::string subject =
        "Sentello: Bewegung erkannt – 10.12.2026 05:55:13 – Garage Süd, Tür zum Hof, Fenster Öse";
    const std::string encoded = encodedHeaderText(subject, "\r\n ");
    EXPECT_EQ(decodedWords(encoded), subject);
    for (const std::string& line : linesOf(encoded)) {
        const std::string word = line.starts_with(' ') ? line.substr(1) : line;
        EXPECT_TRUE(word.starts_with("=?UTF-8?B?") && word.ends_with("?=")) << word;
        EXPECT_LE(word.size(), 75u) << word;
    }
    EXPECT_GT(linesOf(encoded).size(), 1u);
    EXPECT_EQ(encodedHeaderText("Sentello: Ende", " "), "Sentello: Ende");
}

TEST_F(InBerlin, HeadersOfATriggerMail) {
    const std::string mail = composeMail(triggerMessage(pictureBytes()), kAddresses, 0);
    EXPECT_EQ(headerOf(mail, "Date"), "Thu, 10 Dec 2026 05:55:13 +0100");
    EXPECT_EQ(headerOf(mail, "From"), "kamera@example.org");
    EXPECT_EQ(headerOf(mail, "To"), "wache@example.org, nachbar@example.org");
    EXPECT_EQ(headerOf(mail, "Message-ID"), "<4f9c2e1a-77b0-4d2e-9a51-0c3e5d6f7a8b@sentello>");
    EXPECT_EQ(decodedWords(headerOf(mail, "Subject")),
              "Sentello: Bewegung erkannt – 10.12.2026 05:55:13 – Garage Süd");
    EXPECT_EQ(headerOf(mail, "MIME-Version"), "1.0");
    EXPECT_EQ(mailDate(1782900000000), "Wed, 01 Jul 2026 12:00:00 +0200");
}

TEST(MailText, EveryLineEndsInCrLfAndStaysShortAndAscii) {
    const std::string mail = composeMail(triggerMessage(pictureBytes()), kAddresses, 0);
    EXPECT_TRUE(mail.ends_with("\r\n"));
    for (std::size_t at = 0; (at = mail.find('\n', at)) != std::string::npos; ++at)
        ASSERT_EQ(mail[at - 1], '\r') << "a bare line feed at " << at;
    for (const std::string& line : linesOf(mail)) {
        EXPECT_LE(line.size(), 998u);
        for (const char c : line)
            ASSERT_TRUE(c >= 0x20 && c < 0x7f) << line;
    }
}

TEST(MailText, PictureAndTextArePartsBetweenTheBoundaries) {
    const std::string mail = composeMail(triggerMessage(pictureBytes()), kAddresses, 0);
    const std::string type = headerOf(mail, "Content-Type");
    ASSERT_TRUE(type.starts_with("multipart/mixed; boundary=\"")) << type;
    const std::string boundary =
        type.substr(type.find('"') + 1, type.rfind('"') - type.find('"') - 1);
    std::vector<std::string> separators;
    for (const std::string& line : linesOf(mail))
        if (line.starts_with("--"))
            separators.push_back(line);
    EXPECT_EQ(separators,
              (std::vector<std::string>{"--" + boundary, "--" + boundary, "--" + boundary + "--"}));
    EXPECT_EQ(partAfter(mail, "filename=\"sentello.jpg\""), pictureBytes());
    EXPECT_NE(mail.find("Content-Type: image/jpeg"), std::string::npos);
    const std::string text = partAfter(mail, "Content-Type: text/plain; charset=UTF-8");
    EXPECT_NE(text.find("Veränderter Bildanteil: 37 %\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("und 4 weitere Auslösungen\r\n"), std::string::npos) << text;
}

TEST(MailText, WithoutAPictureOneTextPart) {
    AlertMessage message = triggerMessage("");
    message.event.kind = WatchEvent::Kind::CameraLost;
    message.furtherTriggers = 0;
    const std::string mail = composeMail(message, kAddresses, 0);
    EXPECT_EQ(headerOf(mail, "Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(decodedWords(headerOf(mail, "Subject")),
              "Sentello: Kamera verloren – 10.12.2026 05:55:13 – Garage Süd");
    EXPECT_EQ(partAfter(mail, "MIME-Version"),
              "Zeit: 10.12.2026 05:55:13\r\nProfil: Garage Süd\r\nEreignis: Kamera verloren\r\n");
}

TEST(MailText, AClipWithinTheLimitIsAttached) {
    TempFolder folder;
    const std::string clip = pictureBytes() + "RIFF clip";
    std::ofstream(folder / "video.avi", std::ios::binary) << clip;
    const std::string mail =
        composeMail(clipMessage((folder / "video.avi").string()), kAddresses, 1);
    EXPECT_EQ(partAfter(mail, "filename=\"video.avi\""), clip);
    EXPECT_NE(mail.find("Content-Type: video/x-msvideo"), std::string::npos);
    EXPECT_NE(partAfter(mail, "text/plain").find("Video „video.avi“ (0,1 MB), angehängt"),
              std::string::npos);
}

TEST(MailText, AClipOverTheLimitIsNamedWithItsSize) {
    TempFolder folder;
    std::ofstream(folder / "gross.avi", std::ios::binary) << std::string(1572864, 'v');
    const std::string mail =
        composeMail(clipMessage((folder / "gross.avi").string()), kAddresses, 1);
    EXPECT_EQ(mail.find("filename"), std::string::npos);
    EXPECT_NE(partAfter(mail, "text/plain")
                  .find("Video „gross.avi“ (1,5 MB), nicht angehängt: größer als 1 MB"),
              std::string::npos)
        << partAfter(mail, "text/plain");
    const std::string never =
        composeMail(clipMessage((folder / "gross.avi").string()), kAddresses, 0);
    EXPECT_EQ(never.find("filename"), std::string::npos) << "a limit of 0 never attaches";
    const std::string gone = composeMail(clipMessage((folder / "weg.avi").string()), kAddresses, 5);
    EXPECT_NE(partAfter(gone, "MIME-Version").find("Video „weg.avi“: nicht mehr vorhanden"),
              std::string::npos);
}

TEST(MailText, NoAddressOrIdOpensAHeaderOfItsOwn) {
    AlertMessage message = triggerMessage("");
    message.id = "x>\r\nBcc: fremd@example.org";
    const std::string mail =
        composeMail(message, {"a@example.org\r\nBcc: fremd@example.org", {"b@example.org"}}, 0);
    for (const std::string& line : linesOf(mail))
        EXPECT_FALSE(line.starts_with("Bcc:")) << line;
    EXPECT_EQ(headerOf(mail, "Message-ID"), "<x___Bcc__fremd_example.org@sentello>");
}

TEST(MailRecipients, CommaSeparatedTrimmedWithoutEmptyOnes) {
    EXPECT_EQ(mailRecipients(" a@example.org,b@example.org , ,\tc@example.org,"),
              (std::vector<std::string>{"a@example.org", "b@example.org", "c@example.org"}));
    EXPECT_TRUE(mailRecipients(" , ").empty());
}

TEST(MailText, SizesAsPeopleReadThem) {
    EXPECT_EQ(megabytesText(0), "0,0 MB");
    EXPECT_EQ(megabytesText(1572864), "1,5 MB");
    EXPECT_EQ(megabytesText(25 * 1048576ull), "25,0 MB");
}

}  // namespace
