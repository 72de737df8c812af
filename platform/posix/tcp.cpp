#include "platform/tcp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace ovplat {
namespace {

constexpr int kConnectLimitMs = 2000;
constexpr int kReceiveLimitSeconds = 60;

std::string describe(const char* what, int code) {
    return std::string(what) + ": " + std::strerror(code);
}

class PosixTcpConnection final : public TcpConnection {
public:
    explicit PosixTcpConnection(int fd) : fd_(fd) {}
    ~PosixTcpConnection() override { ::close(fd_); }

    bool send_all(std::string_view bytes, std::string& error) override {
        while (!bytes.empty()) {
            // MSG_NOSIGNAL: a peer that went away is an error value, not a SIGPIPE.
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent < 0) {
                error = describe("send failed", errno);
                return false;
            }
            if (sent == 0) {
                error = "send wrote nothing";
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    bool receive_all(std::string& out, std::string& error) override {
        char buffer[16384];
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got > 0) {
                out.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got == 0) return true;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                error = "receive timed out";
                return false;
            }
            error = describe("receive failed", errno);
            return false;
        }
    }

private:
    int fd_;
};

bool set_blocking(int fd, bool blocking) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, wanted) == 0;
}

// Waits for the pending connection to finish; 0 when connected, else the error code
// (ETIMEDOUT when the limit passed).
int wait_for_connection(int fd) {
    pollfd entry{fd, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, kConnectLimitMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
    int socket_error = 0;
    socklen_t length = sizeof socket_error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &socket_error, &length) != 0) return errno;
    return socket_error;
}

}  // namespace

std::unique_ptr<TcpConnection> TcpConnection::connect_loopback(std::uint16_t port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = describe("socket failed", errno);
        return nullptr;
    }
    auto connection = std::make_unique<PosixTcpConnection>(fd);  // closes fd on every path

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int code = errno == EINPROGRESS ? wait_for_connection(fd) : errno;
        if (code == ETIMEDOUT) {
            error = "connect timed out";
            return nullptr;
        }
        if (code != 0) {
            error = describe("connect failed", code);
            return nullptr;
        }
    }
    if (!set_blocking(fd, true)) {
        error = describe("could not make the socket blocking", errno);
        return nullptr;
    }
    timeval limit{};
    limit.tv_sec = kReceiveLimitSeconds;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        error = describe("could not set the receive time-out", errno);
        return nullptr;
    }
    return connection;
}

}  // namespace ovplat
