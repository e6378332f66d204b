// Uploads to a real FTP server on 127.0.0.1 (pyftpdlib, run with Debian's own Python), to a
// server that refuses, to one that takes the connection but never answers and to one that
// answers every line late; the minute step that runs them beside the main thread.

#include "outputs/ftpupload.h"
#include "outputs/pictureupload.h"

#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../boundedcall.h"
#include "../ftpserver.h"
#include "../silentserver.h"
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

class FtpUpload : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(served / "webcam");
        ftp = std::make_unique<FtpServer>(served, "wächter", "geheim 1");
        ASSERT_NE(ftp->port(), 0) << "the FTP server did not start (pyftpdlib missing?)";
        server = ftp->server();
    }

    TempFolder folder;
    fs::path served = folder / "served";
    std::unique_ptr<FtpServer> ftp;
    std::string server;
};

TEST_F(FtpUpload, PictureArrivesByteForByteUnderItsFolder) {
    EXPECT_TRUE(uploadFile({server, "wächter", "geheim 1", "webcam/bild.jpg"}, pictureBytes()));
    EXPECT_EQ(readAll(served / "webcam" / "bild.jpg"), pictureBytes());
}

TEST_F(FtpUpload, EmptyUserLogsInAnonymously) {
    EXPECT_TRUE(uploadFile({server, "", "", "anonym.jpg"}, pictureBytes()));
    EXPECT_EQ(readAll(served / "anonym.jpg"), pictureBytes());
}

TEST_F(FtpUpload, RefusedLoginPutsNothing) {
    EXPECT_FALSE(uploadFile({server, "wächter", "falsch", "bild.jpg"}, pictureBytes()));
    EXPECT_FALSE(fs::exists(served / "bild.jpg"));
}

// Messages of the upload's log category, while it is switched on.
QStringList uploadMessages;
void noteMessage(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (QString::fromUtf8(context.category) == "sentello.upload")
        uploadMessages.append(message);
}

TEST_F(FtpUpload, ReasonOfAFailureGoesToTheDebugLogWhenSwitchedOn) {
    uploadMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(noteMessage);
    uploadFile({server, "wächter", "falsch", "bild.jpg"}, pictureBytes());
    EXPECT_TRUE(uploadMessages.isEmpty()) << "off by default";
    QLoggingCategory::setFilterRules("sentello.upload.debug=true");
    uploadFile({server, "wächter", "falsch", "bild.jpg"}, pictureBytes());
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(previous);
    ASSERT_EQ(uploadMessages.size(), 1);
    EXPECT_TRUE(uploadMessages[0].contains("connect")) << uploadMessages[0].toStdString();
    EXPECT_FALSE(uploadMessages[0].contains("falsch")) << "never the password";
}

// The step and the reason for the event log and the "Internet" tab, in the user's words.
TEST_F(FtpUpload, TheCallerHearsTheStepAndTheReason) {
    const auto failureOf = [](const FtpTarget& target) {
        UploadFailure failure;
        EXPECT_FALSE(
            uploadFile(target, pictureBytes(), std::chrono::seconds(15), nullptr, &failure));
        return failure;
    };
    const UploadFailure refused = failureOf({server, "wächter", "falsch", "bild.jpg"});
    EXPECT_EQ(refused.step, "connect");
    EXPECT_EQ(refused.reason, "Anmeldung abgelehnt");
    EXPECT_FALSE(refused.detail.empty());
    EXPECT_EQ(refused.detail.find("falsch"), std::string::npos) << "never the password";

    const UploadFailure noFolder = failureOf({server, "wächter", "geheim 1", "fehlt/bild.jpg"});
    EXPECT_EQ(noFolder.step, "put");
    EXPECT_EQ(noFolder.reason, "Ordner abgelehnt");

    for (const char* noName : {"", "webcam/"}) {
        const UploadFailure failure = failureOf({server, "wächter", "geheim 1", noName});
        EXPECT_EQ(failure.step, "put") << noName;
        EXPECT_EQ(failure.reason, "kein Dateiname angegeben") << noName;
    }
    EXPECT_FALSE(fs::exists(served / "webcam" / "webcam")) << "no file named as the folder";

    const UploadFailure noServer = failureOf({"", "wächter", "geheim 1", "bild.jpg"});
    EXPECT_EQ(noServer.step, "connect");
    EXPECT_EQ(noServer.reason, "kein Server angegeben");

    std::string closedPort;
    {
        const SilentServer taken;
        closedPort = taken.server;
    }
    const UploadFailure unreached = failureOf({closedPort, "", "", "bild.jpg"});
    EXPECT_EQ(unreached.step, "connect");
    EXPECT_EQ(unreached.reason, "Server nicht erreicht");
}

TEST_F(FtpUpload, MissingFolderOnTheServerFailsThePut) {
    EXPECT_FALSE(uploadFile({server, "wächter", "geheim 1", "fehlt/bild.jpg"}, pictureBytes()));
}

TEST_F(FtpUpload, NoServerNoConnection) {
    EXPECT_FALSE(uploadFile({"", "wächter", "geheim 1", "bild.jpg"}, pictureBytes()));
}

// The minute step: each snapshot is its number, so the uploaded one and the tool's differ.
class MinuteStep : public FtpUpload {
protected:
    void run(const PictureUploadOptions& options) {
        uploadPicture(
            options, uploader, picturePath,
            [this] { return haveSnapshots ? "snapshot " + std::to_string(++snapshots) : ""; },
            [this](const std::string& program, const std::string& argument) {
                launches.push_back(program + " " + argument);
            });
    }

    PictureUploader uploader{{}, std::chrono::seconds(3)};
    std::string picturePath = (folder / "sentello.jpg").string();
    bool haveSnapshots = true;
    int snapshots = 0;
    std::vector<std::string> launches;
};

TEST_F(MinuteStep, UploadAndToolEachGetTheirOwnSnapshot) {
    run({true, {server, "wächter", "geheim 1", "bild.jpg"}, true, "/opt/my viewer"});
    uploader.waitForEnd();
    EXPECT_EQ(snapshots, 2);
    EXPECT_EQ(readAll(served / "bild.jpg"), "snapshot 1");
    EXPECT_EQ(readAll(picturePath), "snapshot 2");
    EXPECT_EQ(launches, std::vector<std::string>{"/opt/my viewer " + picturePath});
    EXPECT_EQ(fs::status(picturePath).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(MinuteStep, FailedConnectionStillServesTheTool) {
    run({true, {server, "wächter", "falsch", "bild.jpg"}, true, "/opt/viewer"});
    uploader.waitForEnd();
    EXPECT_EQ(snapshots, 2);
    EXPECT_EQ(launches.size(), 1u);
}

TEST_F(MinuteStep, NeitherOptionDoesNothing) {
    run({false, {server, "wächter", "geheim 1", "bild.jpg"}, false, "/opt/viewer"});
    EXPECT_EQ(snapshots, 0);
    EXPECT_TRUE(launches.empty());
    EXPECT_FALSE(fs::exists(served / "bild.jpg"));
}

TEST_F(MinuteStep, TheNextMinuteWorksOnceTheServerIsBack) {
    {
        const SilentServer silent;
        run({true, {silent.server, "", "", "bild.jpg"}, false, {}});
        EXPECT_TRUE(uploader.running());
        uploader.waitForEnd();
    }
    run({true, {server, "wächter", "geheim 1", "bild.jpg"}, false, {}});
    uploader.waitForEnd();
    EXPECT_EQ(snapshots, 2);
    EXPECT_EQ(readAll(served / "bild.jpg"), "snapshot 2");
}

// Another user's picture planted at the name is never uploaded or handed to the tool in place
// of a snapshot that could not be taken.
TEST_F(MinuteStep, WithoutAFreshSnapshotNothingGoesOut) {
    std::ofstream(picturePath) << "planted";
    haveSnapshots = false;
    run({true, {server, "wächter", "geheim 1", "bild.jpg"}, true, "/opt/viewer"});
    uploader.waitForEnd();
    EXPECT_FALSE(fs::exists(served / "bild.jpg"));
    EXPECT_TRUE(launches.empty());
}

TEST(FtpUploadBound, SilentServerIsGivenUpWithinTheBound) {
    const SilentServer silent;
    EXPECT_TRUE(endsWithin(std::chrono::seconds(10), [&] {
        EXPECT_FALSE(uploadFile({silent.server, "", "", "bild.jpg"}, pictureBytes(),
                                std::chrono::seconds(2)));
    }));
}

// An FTP server of tests/support/slowftpserver.py that misbehaves after a prompt login.
class MisbehavingServer {
public:
    explicit MisbehavingServer(const QStringList& mode) {
        m_process.start("/usr/bin/python3",
                        QStringList{QString::fromStdString(std::string(SENTELLO_TEST_SUPPORT) +
                                                           "/slowftpserver.py")} +
                            mode);
        QByteArray output;
        while (m_process.waitForStarted(20000) && !output.contains('\n') &&
               m_process.waitForReadyRead(20000))
            output += m_process.readAllStandardOutput();
        const auto port = QRegularExpression("port (\\d+)").match(QString::fromUtf8(output));
        if (port.hasMatch())
            server = "127.0.0.1:" + port.captured(1).toStdString();
    }
    ~MisbehavingServer() {
        m_process.kill();
        m_process.waitForFinished();
    }

    std::string server;  // empty when it did not start

private:
    QProcess m_process;
};

// Logs in at once, then answers every further line late, each within the client's patience
// for one answer: only a bound on the whole upload ends it.
TEST(FtpUploadBound, AServerAnsweringEveryLineLateIsGivenUpAsAWhole) {
    const MisbehavingServer late({"late", "3.5"});
    ASSERT_FALSE(late.server.empty());
    // Three late answers or more before the put would overrun this.
    EXPECT_TRUE(endsWithin(std::chrono::seconds(8), [&] {
        EXPECT_FALSE(uploadFile({late.server, "user", "pass", "bild.jpg"}, pictureBytes(),
                                std::chrono::seconds(4)));
    }));
}

TEST(FtpUploadBound, AServerThatDropsTheDataConnectionFailsTheUpload) {
    const MisbehavingServer dropping({"drop"});
    ASSERT_FALSE(dropping.server.empty());
    EXPECT_TRUE(endsWithin(std::chrono::seconds(10), [&] {
        EXPECT_FALSE(uploadFile({dropping.server, "user", "pass", "bild.jpg"}, pictureBytes(),
                                std::chrono::seconds(4)));
    }));
}

TEST(PictureUploaderBeside, TheMinuteStepReturnsWhileTheServerIsSilent) {
    const SilentServer silent;
    TempFolder folder;
    int snapshots = 0;
    uploadMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(noteMessage);
    QLoggingCategory::setFilterRules("sentello.upload.debug=true");
    auto uploader = std::make_shared<PictureUploader>(nullptr, std::chrono::seconds(60));
    const auto step = [&] {
        uploadPicture(
            {true, {silent.server, "", "", "bild.jpg"}, false, {}}, *uploader,
            (folder / "sentello.jpg").string(),
            [&] { return "snapshot " + std::to_string(++snapshots); },
            [](const std::string&, const std::string&) {});
    };
    step();
    EXPECT_TRUE(uploader->running()) << "the step does not wait for the transfer";
    // The next minute finds the upload still running and leaves it alone.
    step();
    EXPECT_EQ(snapshots, 1);
    EXPECT_TRUE(uploadMessages.join('|').contains("still running"))
        << uploadMessages.join('|').toStdString();
    // Closing the program cancels the upload rather than waiting its minute out.
    EXPECT_TRUE(endsWithin(std::chrono::seconds(10), [uploader]() mutable { uploader.reset(); }));
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(previous);
}

// Debian's vsftpd, as users run it, on 127.0.0.1: anonymous uploads into "webcam", none into
// "gesperrt". It takes the root's rights to start, so it is tried only there.
class Vsftpd : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || !fs::exists("/usr/sbin/vsftpd"))
            GTEST_SKIP() << "vsftpd runs as root only";
        const auto ftpUser = ::getpwnam("ftp");
        ASSERT_NE(ftpUser, nullptr) << "vsftpd's user \"ftp\" is missing";
        // The anonymous user finds its way in, and writes only into "webcam".
        fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_read |
                                           fs::perms::group_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
        fs::create_directories(root / "webcam");
        fs::create_directories(root / "gesperrt");
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        ASSERT_EQ(::chown((root / "webcam").c_str(), ftpUser->pw_uid, ftpUser->pw_gid), 0);
        const int port = freePort();
        const fs::path config = folder / "vsftpd.conf";
        std::ofstream(config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                              << "listen_port=" << port << "\nbackground=NO\n"
                              << "anonymous_enable=YES\nno_anon_password=YES\n"
                              << "anon_root=" << root.string() << "\nwrite_enable=YES\n"
                              << "anon_upload_enable=YES\nlocal_enable=NO\n"
                              << "pasv_enable=YES\npasv_address=127.0.0.1\n"
                              << "secure_chroot_dir=/var/run/vsftpd/empty\n"
                              << "seccomp_sandbox=NO\nxferlog_enable=NO\n";
        fs::create_directories("/var/run/vsftpd/empty");
        m_process.start("/usr/sbin/vsftpd", {QString::fromStdString(config.string())});
        ASSERT_TRUE(m_process.waitForStarted(20000));
        server = "127.0.0.1:" + std::to_string(port);
        ASSERT_TRUE(QTest::qWaitFor([&] { return answers(port); }, 20000))
            << "vsftpd does not answer: " << m_process.readAllStandardError().toStdString();
    }
    void TearDown() override {
        m_process.kill();
        m_process.waitForFinished();
    }

    static int freePort() {
        const SilentServer taken;
        return std::stoi(taken.server.substr(taken.server.rfind(':') + 1));
    }
    static bool answers(int port) {
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool connected =
            ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(client);
        return connected;
    }

    TempFolder folder;
    fs::path root = folder / "ftp";
    std::string server;
    QProcess m_process;
};

TEST_F(Vsftpd, PictureArrivesByteForByte) {
    EXPECT_TRUE(uploadFile({server, "", "", "webcam/bild.jpg"}, pictureBytes()));
    EXPECT_EQ(readAll(root / "webcam" / "bild.jpg"), pictureBytes());
}

TEST_F(Vsftpd, AFolderThatTakesNoUploadFailsThePut) {
    UploadFailure failure;
    EXPECT_FALSE(uploadFile({server, "", "", "gesperrt/bild.jpg"}, pictureBytes(),
                            std::chrono::seconds(15), nullptr, &failure));
    EXPECT_FALSE(fs::exists(root / "gesperrt" / "bild.jpg"));
    EXPECT_EQ(failure.step, "put");
    EXPECT_EQ(failure.reason, "Datei abgelehnt");
}

TEST_F(Vsftpd, AServerStoppedBetweenTwoMinutesIsTakenUpAgainWhenBack) {
    std::vector<UploadEnd> ends;
    PictureUploader uploader([&ends](const UploadEnd& end) { ends.push_back(end); },
                             std::chrono::seconds(5));
    m_process.kill();
    m_process.waitForFinished();
    uploader.start({server, "", "", "webcam/bild.jpg"}, "while it was away");
    uploader.waitForEnd();
    EXPECT_FALSE(fs::exists(root / "webcam" / "bild.jpg"));
    ASSERT_EQ(ends.size(), 1u);
    ASSERT_TRUE(ends[0].failure);
    EXPECT_EQ(ends[0].failure->step, "connect");
    EXPECT_EQ(ends[0].failure->reason, "Server nicht erreicht");
    m_process.start("/usr/sbin/vsftpd",
                    {QString::fromStdString((folder / "vsftpd.conf").string())});
    ASSERT_TRUE(m_process.waitForStarted(20000));
    const int port = std::stoi(server.substr(server.rfind(':') + 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers(port); }, 20000));
    uploader.start({server, "", "", "webcam/bild.jpg"}, pictureBytes());
    uploader.waitForEnd();
    EXPECT_EQ(readAll(root / "webcam" / "bild.jpg"), pictureBytes());
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_FALSE(ends[1].failure);
    EXPECT_EQ(ends[1].remoteName, "webcam/bild.jpg");
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
