// Uploads to a real FTP server on 127.0.0.1 (pyftpdlib, run with Debian's own Python), to a
// server that refuses, and to one that takes the connection but never answers.

#include "outputs/ftpupload.h"
#include "outputs/pictureupload.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../tempfolder.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every byte value, and more than one network packet.
std::string pictureBytes() {
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>((i * 7 + i / 256) & 0xff);
    return bytes;
}

class FtpServer {
public:
    FtpServer(const fs::path& folder, const std::string& user, const std::string& password) {
        m_process.start(
            "/usr/bin/python3",
            {QString::fromStdString(std::string(SENTELLO_TEST_SUPPORT) + "/ftpserver.py"),
             QString::fromStdString(folder.string()), QString::fromStdString(user),
             QString::fromStdString(password)});
        if (!m_process.waitForStarted(20000))
            return;
        QByteArray output;
        while (!output.contains('\n') && m_process.waitForReadyRead(20000))
            output += m_process.readAllStandardOutput();
        const auto match = QRegularExpression("port (\\d+)").match(QString::fromUtf8(output));
        if (match.hasMatch())
            m_port = match.captured(1).toInt();
    }
    ~FtpServer() {
        m_process.kill();
        m_process.waitForFinished();
    }
    int port() const { return m_port; }
    std::string server() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};

class FtpUpload : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(served / "webcam");
        std::ofstream(local, std::ios::binary) << pictureBytes();
        ftp = std::make_unique<FtpServer>(served, "wächter", "geheim 1");
        ASSERT_NE(ftp->port(), 0) << "the FTP server did not start (pyftpdlib missing?)";
        server = ftp->server();
    }

    // Notes that the file was prepared, as the snapshot would be made.
    std::function<void()> prepare() {
        return [this] { ++prepared; };
    }

    TempFolder folder;
    fs::path served = folder / "served";
    std::string local = (folder / "sentello.jpg").string();
    std::unique_ptr<FtpServer> ftp;
    std::string server;
    int prepared = 0;
};

TEST_F(FtpUpload, PictureArrivesByteForByteUnderItsFolder) {
    EXPECT_TRUE(uploadFile({server, "wächter", "geheim 1", "webcam/bild.jpg"}, local, prepare()));
    EXPECT_EQ(prepared, 1);
    EXPECT_EQ(readAll(served / "webcam" / "bild.jpg"), pictureBytes());
}

TEST_F(FtpUpload, EmptyUserLogsInAnonymously) {
    EXPECT_TRUE(uploadFile({server, "", "", "anonym.jpg"}, local, prepare()));
    EXPECT_EQ(readAll(served / "anonym.jpg"), pictureBytes());
}

TEST_F(FtpUpload, RefusedLoginMakesNoPicture) {
    EXPECT_FALSE(uploadFile({server, "wächter", "falsch", "bild.jpg"}, local, prepare()));
    EXPECT_EQ(prepared, 0);
    EXPECT_FALSE(fs::exists(served / "bild.jpg"));
}

// Messages of the upload's log category, while it is switched on.
QStringList uploadMessages;
void noteMessage(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (QString::fromUtf8(context.category) == "sentello.upload")
        uploadMessages.append(message);
}

TEST_F(FtpUpload, ReasonOfAFailureGoesToTheDebugLogWhenSwitchedOn) {
    const QtMessageHandler previous = qInstallMessageHandler(noteMessage);
    uploadFile({server, "wächter", "falsch", "bild.jpg"}, local, prepare());
    EXPECT_TRUE(uploadMessages.isEmpty()) << "off by default";
    QLoggingCategory::setFilterRules("sentello.upload.debug=true");
    uploadFile({server, "wächter", "falsch", "bild.jpg"}, local, prepare());
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(previous);
    ASSERT_EQ(uploadMessages.size(), 1);
    EXPECT_TRUE(uploadMessages[0].contains("connect")) << uploadMessages[0].toStdString();
}

TEST_F(FtpUpload, MissingFolderOnTheServerFailsThePut) {
    EXPECT_FALSE(uploadFile({server, "wächter", "geheim 1", "fehlt/bild.jpg"}, local, prepare()));
    EXPECT_EQ(prepared, 1);
}

TEST_F(FtpUpload, NoServerNoConnection) {
    EXPECT_FALSE(uploadFile({"", "wächter", "geheim 1", "bild.jpg"}, local, prepare()));
    EXPECT_EQ(prepared, 0);
}

TEST_F(FtpUpload, NoLocalPictureNothingIsSent) {
    fs::remove(local);
    EXPECT_FALSE(uploadFile({server, "wächter", "geheim 1", "bild.jpg"}, local, prepare()));
    EXPECT_EQ(prepared, 1);
    EXPECT_FALSE(fs::exists(served / "bild.jpg"));
}

// The minute step: each snapshot writes its number, so the uploaded one and the tool's differ.
class MinuteStep : public FtpUpload {
protected:
    bool snapshot(const std::string& path) {
        std::ofstream(path, std::ios::binary) << "snapshot " << ++snapshots;
        return true;
    }
    void run(const PictureUploadOptions& options) {
        uploadPicture(
            options, local, [this](const std::string& path) { return snapshot(path); },
            [this](const std::string& program, const std::string& argument) {
                launches.push_back(program + " " + argument);
            });
    }

    int snapshots = 0;
    std::vector<std::string> launches;
};

TEST_F(MinuteStep, UploadAndToolEachGetTheirOwnSnapshot) {
    run({true, {server, "wächter", "geheim 1", "bild.jpg"}, true, "/opt/my viewer"});
    EXPECT_EQ(snapshots, 2);
    EXPECT_EQ(readAll(served / "bild.jpg"), "snapshot 1");
    EXPECT_EQ(readAll(local), "snapshot 2");
    EXPECT_EQ(launches, std::vector<std::string>{"/opt/my viewer " + local});
}

TEST_F(MinuteStep, FailedConnectionStillServesTheTool) {
    run({true, {server, "wächter", "falsch", "bild.jpg"}, true, "/opt/viewer"});
    EXPECT_EQ(snapshots, 1);
    EXPECT_EQ(launches.size(), 1u);
}

TEST_F(MinuteStep, NeitherOptionDoesNothing) {
    run({false, {server, "wächter", "geheim 1", "bild.jpg"}, false, "/opt/viewer"});
    EXPECT_EQ(snapshots, 0);
    EXPECT_TRUE(launches.empty());
    EXPECT_FALSE(fs::exists(served / "bild.jpg"));
}

// A server that takes the connection and then says nothing: the kernel accepts for a
// listening socket that nobody serves.
TEST(FtpUploadBound, SilentServerIsGivenUpWithinTheBound) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    int prepared = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(uploadFile(
        {server, "", "", "bild.jpg"}, "/nonexistent/sentello.jpg", [&] { ++prepared; },
        std::chrono::seconds(2)));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::seconds(10)) << "the bound holds, not the client's default";
    EXPECT_EQ(prepared, 0);
    ::close(listener);
}

TEST(FtpAddress, PortFolderAndEscapes) {
    EXPECT_EQ(ftpAddress({"ftp.example.org", "", "", "bild.jpg"}),
              "ftp://ftp.example.org:21/bild.jpg");
    EXPECT_EQ(ftpAddress({"ftp.example.org:2121", "", "", "webcam/bild.jpg"}),
              "ftp://ftp.example.org:2121/webcam/bild.jpg");
    EXPECT_EQ(ftpAddress({"192.0.2.7:", "", "", "/pub/a b%.jpg"}),
              "ftp://192.0.2.7:21//pub/a%20b%25.jpg");
    EXPECT_EQ(ftpAddress({"::1", "", "", "x.jpg"}), "ftp://[::1]:21/x.jpg");
    EXPECT_EQ(ftpAddress({"[::1]:2121", "", "", "x.jpg"}), "ftp://[::1]:2121/x.jpg");
    EXPECT_EQ(ftpAddress({"[::1]", "", "", "x.jpg"}), "ftp://[::1]:21/x.jpg");
    EXPECT_EQ(ftpAddress({"", "", "", "x.jpg"}), "");
    EXPECT_EQ(ftpAddress({":21", "", "", "x.jpg"}), "");
}

}  // namespace
