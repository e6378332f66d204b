#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

// A listening socket on 127.0.0.1 that nobody serves: the kernel accepts connections, nothing
// ever answers.
struct SilentServer {
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string server;  // "127.0.0.1:port"

    SilentServer() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    ~SilentServer() { ::close(listener); }

    // Whether a client has connected (and waits for an answer).
    bool called() const {
        pollfd waiting{listener, POLLIN, 0};
        return ::poll(&waiting, 1, 0) == 1;
    }
};
