// The copies off the premises against real servers on 127.0.0.1: pyftpdlib (run with Debian's
// own Python), Debian's vsftpd with explicit TLS and its OpenSSH server's SFTP, each started by
// the test with a certificate or keys it makes; and through the outbox, with a server that
// stops and comes back.

#include "outputs/copysender.h"

#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QProcess>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "../ftpserver.h"
#include "../silentserver.h"
#include "../tempfolder.h"
#include "outputs/clipcopies.h"
#include "outputs/outbox.h"
#include "servertest.h"

namespace {

namespace fs = std::filesystem;

constexpr DateFields kWhen{2026, 12, 10, 10, 22, 33};
constexpr const char* kDay = "2026-12-10";

AlertMessage pictureMessage(const std::string& picture) {
    AlertMessage message;
    message.id = "1765361472123-9f2c41d07ab35e68";
    message.channel = AlertChannel::CopyPicture;
    message.createdMs = 1765361472123;
    message.event = {.kind = WatchEvent::Kind::Trigger, .when = kWhen};
    message.picture = picture;
    return message;
}

AlertMessage clipMessage(const fs::path& clip) {
    AlertMessage message;
    message.channel = AlertChannel::CopyClip;
    message.event = {.kind = WatchEvent::Kind::ClipFinished, .when = kWhen, .clipPath = clip};
    return message;
}

AlertMessage partMessage(const std::string& clipName, int index, const fs::path& part) {
    AlertMessage message = clipMessage(part);
    message.event.count = index;
    message.event.remoteName = clipName;
    return message;
}

// A clip's stand-in: a few megabytes of every byte value.
std::string clipBytes(char seed) {
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 13 + static_cast<std::size_t>(seed)) & 0xff);
    return bytes;
}

void putFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Whether the file holds the bytes; a large mismatch is not printed.
::testing::AssertionResult sameBytes(const fs::path& path, const std::string& bytes) {
    const std::string held = fileBytes(path);
    if (held == bytes)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << path << " holds " << held.size() << " bytes, not the " << bytes.size() << " sent";
}

int portOf(const std::string& server) {
    return std::stoi(server.substr(server.rfind(':') + 1));
}

int freePort() {
    const SilentServer taken;
    return portOf(taken.server);
}

bool answers(int port) {
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

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return true;
}

class CopyFtp : public ::testing::Test {
protected:
    void SetUp() override {
        start(0);
        ASSERT_NE(port, 0) << "the FTP server did not start (pyftpdlib missing?)";
    }
    void start(int on) {
        ftp = std::make_unique<FtpServer>(served, "wächter", "geheim 1", on, received);
        port = ftp->port();
    }
    CopyTarget target() const {
        return {CopyProtocol::Ftp, "127.0.0.1", port, "wächter", "geheim 1", "sentello", {}};
    }
    std::vector<std::string> receivedNames() const {
        std::vector<std::string> names;
        std::ifstream in(received);
        for (std::string line; std::getline(in, line);)
            names.push_back(fs::path(line).filename().string());
        return names;
    }

    TempFolder folder;
    fs::path served = folder / "ftp";
    fs::path received = folder / "received.txt";
    fs::path day = served / "sentello" / kDay;
    std::unique_ptr<FtpServer> ftp;
    int port = 0;
    const bool madeServed = fs::create_directories(served);
};

TEST_F(CopyFtp, PictureAndClipArriveInTheDayFolderByWayOfATemporaryName) {
    CopySender sender(target());
    const std::string picture = pictureBytes();
    EXPECT_EQ(sender.send(pictureMessage(picture)).outcome, Delivery::Outcome::Delivered);
    const fs::path clip = folder / "Video_Sentello_20261210102233.avi";
    putFile(clip, clipBytes(1));
    const Delivery delivery = sender.send(clipMessage(clip));
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::Delivered) << delivery.reason;

    EXPECT_TRUE(sameBytes(day / "Bild_Sentello_20261210102233_123.jpg", picture));
    EXPECT_TRUE(sameBytes(day / "Video_Sentello_20261210102233.avi", clipBytes(1)));
    EXPECT_EQ(namesIn(day), (std::vector<std::string>{"Bild_Sentello_20261210102233_123.jpg",
                                                      "Video_Sentello_20261210102233.avi"}));
    // What the server took whole was the temporary file, renamed only then.
    EXPECT_EQ(receivedNames(), (std::vector<std::string>{"Bild_Sentello_20261210102233_123.jpg.tmp",
                                                         "Video_Sentello_20261210102233.avi.tmp"}));
    EXPECT_TRUE(fs::exists(clip)) << "the clip stays where it is";
}

TEST_F(CopyFtp, TheWholeClipReplacesItsPartsAndALatePartIsNotSentAgain) {
    CopySender sender(target());
    const std::string name = "Video_Sentello_20261210102233.avi";
    const fs::path part1 = folder / "teil1.avi";
    const fs::path part2 = folder / "teil2.avi";
    putFile(part1, "erster Teil");
    putFile(part2, "zweiter Teil");
    EXPECT_EQ(sender.send(partMessage(name, 1, part1)).outcome, Delivery::Outcome::Delivered);
    EXPECT_EQ(sender.send(partMessage(name, 2, part2)).outcome, Delivery::Outcome::Delivered);
    EXPECT_EQ(fileBytes(day / "Video_Sentello_20261210102233.teil001.avi"), "erster Teil");
    EXPECT_EQ(fileBytes(day / "Video_Sentello_20261210102233.teil002.avi"), "zweiter Teil");
    EXPECT_FALSE(fs::exists(part1)) << "a part's file goes once it is on the server";
    EXPECT_FALSE(fs::exists(part2));

    const fs::path clip = folder / name;
    putFile(clip, clipBytes(2));
    EXPECT_EQ(sender.send(clipMessage(clip)).outcome, Delivery::Outcome::Delivered);
    EXPECT_EQ(namesIn(day), std::vector<std::string>{name});
    EXPECT_TRUE(sameBytes(day / name, clipBytes(2)));

    // A part whose try failed before comes after its clip: the clip stands alone, and the
    // part's file goes.
    const fs::path late = folder / "teil3.avi";
    putFile(late, "dritter Teil");
    EXPECT_EQ(sender.send(partMessage(name, 3, late)).outcome, Delivery::Outcome::Delivered);
    EXPECT_EQ(namesIn(day), std::vector<std::string>{name});
    EXPECT_FALSE(fs::exists(late));
    // One delivered by a run killed before it could say so is not sent again.
    EXPECT_EQ(sender.send(partMessage(name, 2, part2)).outcome, Delivery::Outcome::Delivered);
    EXPECT_EQ(namesIn(day), std::vector<std::string>{name});
}

TEST_F(CopyFtp, AClipDeletedMeanwhileIsGoneAndNothingIsSent) {
    CopySender sender(target());
    const Delivery delivery =
        sender.send(clipMessage(folder / "Video_Sentello_20261210102233.avi"));
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::Gone);
    EXPECT_EQ(delivery.reason, "Video nicht mehr vorhanden: Video_Sentello_20261210102233.avi");
    EXPECT_FALSE(fs::exists(served / "sentello"));
}

TEST_F(CopyFtp, TheTestWritesAFileAndRemovesIt) {
    CopySender sender(target());
    AlertMessage test = pictureMessage("");
    test.test = true;
    const Delivery delivery = sender.send(test);
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::Delivered) << delivery.reason;
    ASSERT_EQ(receivedNames().size(), 1u);
    EXPECT_EQ(receivedNames()[0], "sentello-test-" + test.id + ".txt");
    EXPECT_TRUE(namesIn(served / "sentello").empty());
}

TEST_F(CopyFtp, ACopyTheServerCannotRenameIsNotDelivered) {
    fs::create_directories(day / "Bild_Sentello_20261210102233_123.jpg" / "besetzt");
    const Delivery delivery = CopySender(target()).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::TryAgain);
}

TEST_F(CopyFtp, AWrongPasswordIsRefused) {
    CopyTarget wrong = target();
    wrong.password = "falsch";
    const Delivery delivery = CopySender(wrong).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::Refused);
    EXPECT_EQ(delivery.reason, "Anmeldung abgelehnt");
}

// Through the outbox: a server that stops while copies wait and comes back gets each of them,
// once.
TEST_F(CopyFtp, AServerStoppedAndStartedAgainGetsEverythingOnce) {
    const int on = port;
    ftp.reset();
    std::variant<OutboxFolder, std::string> box = OutboxFolder::open((folder / "Ausgang").string());
    ASSERT_TRUE(std::holds_alternative<OutboxFolder>(box));
    std::map<AlertChannel, std::unique_ptr<AlertSender>> senders;
    senders[AlertChannel::CopyPicture] = std::make_unique<CopySender>(target());
    senders[AlertChannel::CopyClip] = std::make_unique<CopySender>(target());
    std::mutex reportsMutex;
    std::vector<OutboxReport> reports;
    Outbox outbox(std::move(std::get<OutboxFolder>(box)), std::move(senders), 100 << 20,
                  [&](const OutboxReport& report) {
                      const std::lock_guard lock(reportsMutex);
                      reports.push_back(report);
                  });
    const std::string name = "Video_Sentello_20261210102233.avi";
    const fs::path part = folder / "teil1.avi";
    const fs::path clip = folder / name;
    putFile(part, "erster Teil");
    putFile(clip, clipBytes(3));
    ClipCopies copies({.enqueue = [&](AlertMessage message) { outbox.enqueue(message); },
                       .localNow = [] { return kWhen; },
                       .profile = {}});
    // Of now, so that it is not too old to be sent.
    AlertMessage picture = pictureMessage(pictureBytes());
    picture.id.clear();
    picture.createdMs = 0;
    outbox.enqueue(picture);
    copies.copyClipPart(name, 1, part.string());
    copies.copyClip(clip.string());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return outbox.state().secondsToNextTry.value_or(0) > 0; }, 20000));

    start(on);
    ASSERT_EQ(port, on) << "the FTP server did not start again on its port";
    outbox.checkNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outbox.state().waiting == 0; }, 60000))
        << outboxStateText(outbox.state());
    const std::vector<std::string> names = namesIn(day);
    ASSERT_EQ(names.size(), 2u) << names.front();
    EXPECT_TRUE(names[0].starts_with("Bild_Sentello_20261210102233_")) << names[0];
    EXPECT_TRUE(sameBytes(day / names[0], pictureBytes()));
    EXPECT_EQ(names[1], name);
    EXPECT_TRUE(sameBytes(day / name, clipBytes(3)));
    const std::lock_guard lock(reportsMutex);
    const auto late = std::count_if(reports.begin(), reports.end(), [](const OutboxReport& r) {
        return r.kind == OutboxReport::Kind::DeliveredLate;
    });
    EXPECT_GE(late, 2);
}

// The server stopped while a clip is on its way and started again: the clip arrives whole,
// once, and no half file is left.
TEST_F(CopyFtp, AServerStoppedInTheMiddleOfAClipGetsItWholeOnceWhenBack) {
    const int on = port;
    std::variant<OutboxFolder, std::string> box = OutboxFolder::open((folder / "Ausgang").string());
    ASSERT_TRUE(std::holds_alternative<OutboxFolder>(box));
    std::map<AlertChannel, std::unique_ptr<AlertSender>> senders;
    senders[AlertChannel::CopyClip] = std::make_unique<CopySender>(target());
    Outbox outbox(std::move(std::get<OutboxFolder>(box)), std::move(senders), 100 << 20, {});
    const std::string name = "Video_Sentello_20261210102233.avi";
    const fs::path clip = folder / name;
    // Large enough to be caught on its way on the loopback.
    std::string bytes;
    for (int piece = 0; piece < 40; ++piece)
        bytes += clipBytes(static_cast<char>(piece));
    putFile(clip, bytes);
    outbox.enqueue(clipMessage(clip));
    const fs::path half = day / (name + ".tmp");
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::error_code error;
    while (fs::file_size(half, error) == 0 || error) {
        ASSERT_LT(std::chrono::steady_clock::now(), bound) << "the clip never on its way";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ftp.reset();
    ASSERT_LT(fs::file_size(half), bytes.size()) << "the clip arrived before the server stopped";
    start(on);
    ASSERT_EQ(port, on) << "the FTP server did not start again on its port";
    outbox.checkNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outbox.state().waiting == 0; }, 60000))
        << outboxStateText(outbox.state());
    EXPECT_EQ(namesIn(day), std::vector<std::string>{name});
    EXPECT_TRUE(sameBytes(day / name, bytes));
}

// Debian's vsftpd with explicit TLS on every command and transfer, its anonymous user writing
// into "ablage". It takes the root's rights to start, so it is tried only there.
class CopyFtps : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || !fs::exists("/usr/sbin/vsftpd"))
            GTEST_SKIP() << "vsftpd runs as root only";
        const auto ftpUser = ::getpwnam("ftp");
        ASSERT_NE(ftpUser, nullptr) << "vsftpd's user \"ftp\" is missing";
        const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(folder.path(), open);
        fs::create_directories(root / "ablage");
        fs::permissions(root, open);
        ASSERT_EQ(::chown((root / "ablage").c_str(), ftpUser->pw_uid, ftpUser->pw_gid), 0);
        ASSERT_TRUE(makeCertificate(folder.path()));
        port = freePort();
        startServer();
    }
    void TearDown() override { stopServer(); }

    void startServer() {
        std::ofstream(folder / "vsftpd.conf")
            << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port
            << "\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\nanon_root="
            << root.string()
            << "\nwrite_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
            << "anon_other_write_enable=YES\nanon_umask=022\nlocal_enable=NO\n"
            << "pasv_enable=YES\npasv_address=127.0.0.1\n"
            << "secure_chroot_dir=/var/run/vsftpd/empty\nseccomp_sandbox=NO\n"
            << "xferlog_enable=NO\nssl_enable=YES\nallow_anon_ssl=YES\n"
            << "force_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\nrequire_ssl_reuse=NO\n"
            << "rsa_cert_file=" << (folder / "cert.pem").string()
            << "\nrsa_private_key_file=" << (folder / "key.pem").string() << "\n";
        fs::create_directories("/var/run/vsftpd/empty");
        m_process.start("/usr/sbin/vsftpd", {QString::fromStdString((folder / "vsftpd.conf"))});
        ASSERT_TRUE(m_process.waitForStarted(20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return answers(port); }, 20000))
            << "vsftpd does not answer";
    }
    void stopServer() {
        m_process.kill();
        m_process.waitForFinished();
    }
    CopyTarget target(const std::string& fingerprint) const {
        return {CopyProtocol::Ftps, "127.0.0.1", port, {}, {}, "ablage", fingerprint};
    }

    TempFolder folder;
    fs::path root = folder / "ftp";
    int port = 0;
    QProcess m_process;
};

TEST_F(CopyFtps, AnUnknownCertificateIsOfferedAndOncePinnedThePictureArrives) {
    const std::string fingerprint = opensslFingerprint(folder / "cert.pem");
    ASSERT_FALSE(fingerprint.empty());
    const Delivery first = CopySender(target({})).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(first.outcome, Delivery::Outcome::Refused);
    EXPECT_EQ(first.unknownCertificate, fingerprint);
    EXPECT_FALSE(fs::exists(root / "ablage" / kDay));

    const Delivery pinned = CopySender(target(fingerprint)).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(pinned.outcome, Delivery::Outcome::Delivered) << pinned.reason;
    EXPECT_EQ(fileBytes(root / "ablage" / kDay / "Bild_Sentello_20261210102233_123.jpg"),
              pictureBytes());
}

TEST_F(CopyFtps, AChangedCertificateIsRefusedAndNothingIsSent) {
    const std::string fingerprint = opensslFingerprint(folder / "cert.pem");
    stopServer();
    ASSERT_TRUE(makeCertificate(folder.path()));
    ASSERT_NE(opensslFingerprint(folder / "cert.pem"), fingerprint);
    startServer();
    const Delivery delivery = CopySender(target(fingerprint)).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::Refused);
    EXPECT_EQ(delivery.unknownCertificate, opensslFingerprint(folder / "cert.pem"));
    EXPECT_TRUE(namesIn(root / "ablage").empty());
}

// Debian's OpenSSH server as the test's own, on a free port of 127.0.0.1, with a host key and
// a key of the user that the test makes, SFTP in the server itself. The user logs in with the
// key (password logins would need the system's PAM), as root, so it is tried only there.
class CopySftp : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || !fs::exists("/usr/sbin/sshd"))
            GTEST_SKIP() << "the test's own sshd runs as root only";
        fs::create_directories(home / ".ssh");
        ASSERT_TRUE(run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f",
                                       QString::fromStdString(folder / "hostkey")}));
        ASSERT_TRUE(run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f",
                                       QString::fromStdString(home / ".ssh" / "id_ed25519")}));
        QString listed;
        ASSERT_TRUE(run("ssh-keygen", {"-l", "-f", QString::fromStdString(folder / "hostkey.pub")},
                        &listed));
        fingerprint = listed.section(' ', 1, 1).toStdString();
        fs::copy_file(home / ".ssh" / "id_ed25519.pub", folder / "authorized_keys");
        port = freePort();
        std::ofstream(folder / "sshd_config")
            << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey "
            << (folder / "hostkey").string() << "\nPidFile " << (folder / "sshd.pid").string()
            << "\nAuthorizedKeysFile " << (folder / "authorized_keys").string()
            << "\nStrictModes no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
            << "UsePAM no\nPermitRootLogin prohibit-password\nSubsystem sftp internal-sftp\n";
        fs::create_directories("/run/sshd");
        m_process.start("/usr/sbin/sshd",
                        {"-D", "-e", "-f", QString::fromStdString(folder / "sshd_config")});
        ASSERT_TRUE(m_process.waitForStarted(20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return answers(port); }, 20000))
            << "sshd does not listen: " << m_process.readAllStandardError().toStdString();
        const char* before = std::getenv("HOME");
        m_home = before ? before : "";
        ::setenv("HOME", home.c_str(), 1);
        user = ::getpwuid(::geteuid())->pw_name;
        userHome = ::getpwuid(::geteuid())->pw_dir;
        remote = "sentello-kopie-test-" + std::to_string(::getpid());
    }
    void TearDown() override {
        if (!m_home.empty())
            ::setenv("HOME", m_home.c_str(), 1);
        m_process.kill();
        m_process.waitForFinished();
        std::error_code ignored;
        if (!remote.empty())
            fs::remove_all(userHome / remote, ignored);
    }
    CopyTarget target(const std::string& pinned) const {
        return {CopyProtocol::Sftp, "127.0.0.1", port, user, {}, remote, pinned};
    }

    TempFolder folder;
    fs::path home = folder / "home";
    std::string fingerprint;
    int port = 0;
    std::string user;
    fs::path userHome;
    // The folder below the user's home folder that the copies go to.
    std::string remote;
    QProcess m_process;
    std::string m_home;
};

TEST_F(CopySftp, TheHostKeyIsOfferedOnFirstContactAndOncePinnedTheCopiesArrive) {
    const Delivery first = CopySender(target({})).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(first.outcome, Delivery::Outcome::Refused);
    EXPECT_EQ(first.reason, "Schlüssel des Servers unbekannt (" + fingerprint + ")");
    EXPECT_EQ(first.unknownCertificate, fingerprint);
    EXPECT_FALSE(fs::exists(userHome / remote));

    CopySender sender(target(fingerprint));
    const Delivery picture = sender.send(pictureMessage(pictureBytes()));
    EXPECT_EQ(picture.outcome, Delivery::Outcome::Delivered) << picture.reason;
    const std::string name = "Video_Sentello_20261210102233.avi";
    const fs::path part = folder / "teil1.avi";
    putFile(part, "erster Teil");
    EXPECT_EQ(sender.send(partMessage(name, 1, part)).outcome, Delivery::Outcome::Delivered);
    const fs::path day = userHome / remote / kDay;
    EXPECT_EQ(fileBytes(day / "Video_Sentello_20261210102233.teil001.avi"), "erster Teil");
    const fs::path clip = folder / name;
    putFile(clip, clipBytes(4));
    // Twice, as after a crash between the server's taking it and the outbox's removing it.
    EXPECT_EQ(sender.send(clipMessage(clip)).outcome, Delivery::Outcome::Delivered);
    EXPECT_EQ(sender.send(clipMessage(clip)).outcome, Delivery::Outcome::Delivered);
    EXPECT_EQ(namesIn(day),
              (std::vector<std::string>{"Bild_Sentello_20261210102233_123.jpg", name}));
    EXPECT_TRUE(sameBytes(day / name, clipBytes(4)));
    EXPECT_TRUE(sameBytes(day / "Bild_Sentello_20261210102233_123.jpg", pictureBytes()));
}

TEST_F(CopySftp, ACopyTheServerCannotRenameIsNotDelivered) {
    fs::create_directories(userHome / remote / kDay / "Bild_Sentello_20261210102233_123.jpg" /
                           "besetzt");
    const Delivery delivery = CopySender(target(fingerprint)).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::TryAgain);
}

TEST_F(CopySftp, AnotherHostKeyIsRefusedShownAndNothingIsSent) {
    const std::string other = "SHA256:" + std::string(43, 'A');
    const Delivery delivery = CopySender(target(other)).send(pictureMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Delivery::Outcome::Refused);
    EXPECT_EQ(delivery.reason,
              "Schlüssel des Servers ist nicht der gespeicherte (" + fingerprint + ")");
    EXPECT_EQ(delivery.unknownCertificate, fingerprint);
    EXPECT_FALSE(fs::exists(userHome / remote));
}

TEST(CopyTarget, FtpTakesTheMinuteUploadsServerUserAndPasswordWhereItsOwnAreEmpty) {
    CopyOptions options;
    const CopyTarget taken = copyTargetOf(options, "ftp.example.org:2121", "anna", "pw");
    EXPECT_EQ(taken.server, "ftp.example.org");
    EXPECT_EQ(taken.port, 2121);
    EXPECT_EQ(taken.user, "anna");
    EXPECT_EQ(taken.password, "pw");
    options.server = "kopie.example.org";
    options.user = "berta";
    EXPECT_EQ(copyTargetOf(options, "ftp.example.org", "anna", "pw").server, "kopie.example.org");
    EXPECT_EQ(copyTargetOf(options, "ftp.example.org", "anna", "pw").user, "berta");
    EXPECT_EQ(copyTargetOf(options, "ftp.example.org", "anna", "pw").port, 21);
    options.protocol = static_cast<int>(CopyProtocol::Sftp);
    options.server.clear();
    options.password.clear();
    const CopyTarget sftp = copyTargetOf(options, "ftp.example.org", "anna", "pw");
    EXPECT_EQ(sftp.server, "");
    EXPECT_EQ(sftp.password, "");
}

}  // namespace
