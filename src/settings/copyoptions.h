#pragma once

#include <string>

// The copy of clips and trigger pictures to a server off the premises has a group of its own,
// written only once the user has chosen something there: a file of a user who never did stays
// as it was.
inline constexpr char kCopyGroup[] = "Kopie";

enum class CopyProtocol { Ftp = 0, Ftps = 1, Sftp = 2 };

inline constexpr int kFtpPort = 21;
inline constexpr int kSftpPort = 22;

// The user and password scrambled as the FTP upload's are. For FTP an empty server, user or
// password stands for the minute upload's.
struct CopyOptions {
    bool on = false;                                     // "kopie"
    int protocol = static_cast<int>(CopyProtocol::Ftp);  // "kopieart", 0..2
    std::string server;                                  // "kopieserver"
    int port = kFtpPort;              // "kopieport", 1..65535; 22 for SFTP when the file names none
    std::string user;                 // "kopieuser"
    std::string password;             // "kopiepass"
    std::string folder = "sentello";  // "kopieordner": the folder on the server
    // The SHA-256 fingerprint of the server's certificate (FTPS) or host key (SFTP) the user
    // chose to trust; empty: none yet.
    std::string fingerprint;  // "kopieschluessel"

    bool operator==(const CopyOptions&) const = default;
};

// Values outside their ranges are taken at the nearest end; a missing group gives the defaults
// and leaves the file as it is.
CopyOptions loadCopyOptions(const std::string& settingsFile);
// Writes all its keys into the group, making it when missing: for the user's choice only.
void saveCopyOptions(const CopyOptions& options, const std::string& settingsFile);
