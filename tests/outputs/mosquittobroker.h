#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QStringList>

#include <cctype>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "../tempfolder.h"

// A port on 127.0.0.1 that nobody listens on just now; 0 when there is none.
inline int freePort() {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(sock);
    return port;
}

// Whether something takes connections on 127.0.0.1:port.
inline bool listening(int port) {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected =
        ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(sock);
    return connected;
}

// A private mosquitto on 127.0.0.1: a plain listener and a TLS one, both for `user` with
// `password` only; the TLS listener's certificate, certificateFile(), is made out to
// `certificateName` (an IPv4 address or a host name) and signed by itself. Killed at the end.
class MosquittoBroker {
public:
    static constexpr const char* kUser = "alarm";
    static constexpr const char* kPassword = "geheim 123";

    explicit MosquittoBroker(const std::string& certificateName = "127.0.0.1")
        : m_port(freePort()), m_tlsPort(freePort()) {
        const std::string passwords = (m_folder / "passwords").string();
        const std::string key = (m_folder / "key.pem").string();
        const bool address = std::isdigit(static_cast<unsigned char>(certificateName[0]));
        const std::string subject = "/CN=" + certificateName;
        const std::string altName =
            std::string("subjectAltName=") + (address ? "IP:" : "DNS:") + certificateName;
        m_ok = run("mosquitto_passwd", {"-b", "-c", passwords.c_str(), kUser, kPassword}) &&
               run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                               key.c_str(), "-out", certificateFile().c_str(), "-days", "2",
                               "-subj", subject.c_str(), "-addext", altName.c_str()});
        std::ofstream config(m_folder / "mosquitto.conf");
        // As root mosquitto would become the user "mosquitto", who cannot read this folder.
        const passwd* self = ::getpwuid(::geteuid());
        config << "user " << (self ? self->pw_name : "root") << "\n"
               << "per_listener_settings false\nallow_anonymous false\n"
               << "password_file " << passwords << "\npersistence false\n"
               << "log_dest stderr\n"
               << "listener " << m_port << " 127.0.0.1\n"
               << "listener " << m_tlsPort << " 127.0.0.1\n"
               << "certfile " << certificateFile() << "\nkeyfile " << key << "\n";
    }
    ~MosquittoBroker() { stop(); }
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Starts it and waits until both listeners take connections.
    bool start() {
        if (!m_ok)
            return false;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("mosquitto",
                        {"-c", QString::fromStdString((m_folder / "mosquitto.conf").string())});
        if (!m_process.waitForStarted(10000))
            return false;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!(listening(m_port) && listening(m_tlsPort))) {
            if (std::chrono::steady_clock::now() > until || m_process.state() != QProcess::Running)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    // A broker that holds its connections but answers nothing, and the same one again.
    void freeze() { ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP); }
    void thaw() { ::kill(static_cast<pid_t>(m_process.processId()), SIGCONT); }
    void stop() {
        m_process.kill();
        m_process.waitForFinished();
    }

    int port() const { return m_port; }
    int tlsPort() const { return m_tlsPort; }
    std::string certificateFile() const { return (m_folder / "cert.pem").string(); }

private:
    static bool run(const char* program, std::initializer_list<const char*> arguments) {
        QStringList list;
        for (const char* argument : arguments)
            list << argument;
        QProcess process;
        process.start(program, list);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    TempFolder m_folder;
    int m_port;
    int m_tlsPort;
    bool m_ok = false;
    QProcess m_process;
};
