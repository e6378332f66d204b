#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

#include "outputs/alertmessage.h"
#include "settings/copyoptions.h"

// Where the copies go and as whom, the minute upload's server, user and password already
// taken in where FTP's own are empty.
struct CopyTarget {
    CopyProtocol protocol = CopyProtocol::Ftp;
    std::string server;
    int port = kFtpPort;
    std::string user;
    std::string password;
    std::string folder;
    // The pinned SHA-256 fingerprint: of the certificate ("AB:CD:…") for FTPS, of the host
    // key ("SHA256:…", as ssh-keygen -l prints it) for SFTP.
    std::string fingerprint;
};

// The target of the options; for FTP an empty server, user or password is the minute
// upload's (its server field "host" or "host:port").
CopyTarget copyTargetOf(const CopyOptions& options, const std::string& uploadServer,
                        const std::string& uploadUser, const std::string& uploadPassword);

// The SHA-256 fingerprint of an SSH host key's bytes as ssh-keygen -l prints it: "SHA256:"
// and the digest in Base64 without padding.
std::string hostKeyFingerprint(std::string_view key);

// The names a copy has on the server, below the folder, in a folder per day "%yyyy-%mm-%dd".
// A trigger's picture: "Bild_Sentello_<date and time>_<milliseconds>.jpg"; a clip: its own
// file name; a part of a clip still being written: "<clip without .avi>.teil001.avi".
std::string copyDayFolder(const DateFields& when);
std::string copyPictureName(const AlertMessage& message);
std::string copyClipName(const std::string& clipPath);
std::string copyPartName(const std::string& clipPath, int index);

// Copies the messages of the channels CopyPicture (the picture's bytes) and CopyClip (the
// file event.clipPath names on the disk: the whole clip, or with event.count > 0 that part
// of the clip event.remoteName) to the server by FTP, FTPS (explicit TLS, every command and
// transfer encrypted) or SFTP. Each file goes to "<name>.tmp" first and is renamed when whole,
// so the server never shows a half file under its name; missing folders are made. A whole
// clip deletes its parts on the server once it is there; a part whose whole clip is already
// there is not sent again; a part's file on the disk goes once it is done with. A clip no
// longer on the disk is Gone. A test message writes and deletes a small file in the folder.
//
// FTPS takes the certificate as the remote alarm's channels do (CertificatePin); SFTP the host
// key pinned alone, none without a pin: an unknown or other key is Refused with its
// fingerprint in unknownCertificate, before anything is sent. SFTP logs in with the user's own
// key (~/.ssh/id_ed25519, id_ecdsa or id_rsa; the password as its passphrase) or the password.
class CopySender : public AlertSender {
public:
    static constexpr std::chrono::seconds kStallLimit{30};

    explicit CopySender(CopyTarget target, std::chrono::seconds stall = kStallLimit);

    Delivery send(const AlertMessage& message) override;
    void abandon() override { m_abandoned = true; }

private:
    const CopyTarget m_target;
    const std::chrono::seconds m_stall;
    std::atomic<bool> m_abandoned{false};
};
