#include "platform/tcp.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "wide_text.h"

#include <mutex>

namespace ovplat {
namespace {

constexpr long kConnectLimitSeconds = 2;
constexpr DWORD kReceiveLimitMs = 60000;

std::string describe(const char* what, int code) {
    return std::string(what) + ": " + win32::describe_error(static_cast<DWORD>(code));
}

// Winsock needs one start-up per process before the first socket; it stays up until exit.
int start_winsock() {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data;
        result = WSAStartup(MAKEWORD(2, 2), &data);
    });
    return result;
}

class WinsockConnection final : public TcpConnection {
public:
    explicit WinsockConnection(SOCKET socket) : socket_(socket) {}
    ~WinsockConnection() override { closesocket(socket_); }

    bool send_all(std::string_view bytes, std::string& error) override {
        while (!bytes.empty()) {
            const int chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<int>(bytes.size());
            const int sent = send(socket_, bytes.data(), chunk, 0);
            if (sent == SOCKET_ERROR) {
                error = describe("send failed", WSAGetLastError());
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
            const int got = recv(socket_, buffer, sizeof buffer, 0);
            if (got > 0) {
                out.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got == 0) return true;
            const int code = WSAGetLastError();
            if (code == WSAESHUTDOWN) return true;  // the connection is reported as shut down
            error = code == WSAETIMEDOUT ? std::string("receive timed out") : describe("receive failed", code);
            return false;
        }
    }

private:
    SOCKET socket_;
};

bool set_non_blocking(SOCKET socket, bool non_blocking) {
    u_long mode = non_blocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

// Waits for the pending connection to finish; 0 when connected, else the error code
// (WSAETIMEDOUT when the limit passed).
int wait_for_connection(SOCKET socket) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval limit{kConnectLimitSeconds, 0};
    const int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready == SOCKET_ERROR) return WSAGetLastError();
    if (ready == 0) return WSAETIMEDOUT;
    int socket_error = 0;
    int length = sizeof socket_error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socket_error), &length) != 0) {
        return WSAGetLastError();
    }
    if (socket_error == 0 && FD_ISSET(socket, &failed)) return WSAECONNREFUSED;
    return socket_error;
}

}  // namespace

std::unique_ptr<TcpConnection> TcpConnection::connect_loopback(std::uint16_t port, std::string& error) {
    if (const int code = start_winsock(); code != 0) {
        error = describe("WSAStartup failed", code);
        return nullptr;
    }
    const SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        error = describe("socket failed", WSAGetLastError());
        return nullptr;
    }
    auto connection = std::make_unique<WinsockConnection>(socket);  // closes the socket on every path

    if (!set_non_blocking(socket, true)) {
        error = describe("could not make the socket non-blocking", WSAGetLastError());
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        const int started = WSAGetLastError();
        const int code = started == WSAEWOULDBLOCK ? wait_for_connection(socket) : started;
        if (code == WSAETIMEDOUT) {
            error = "connect timed out";
            return nullptr;
        }
        if (code != 0) {
            error = describe("connect failed", code);
            return nullptr;
        }
    }
    if (!set_non_blocking(socket, false)) {
        error = describe("could not make the socket blocking", WSAGetLastError());
        return nullptr;
    }
    const DWORD limit = kReceiveLimitMs;
    if (setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0) {
        error = describe("could not set the receive time-out", WSAGetLastError());
        return nullptr;
    }
    return connection;
}

}  // namespace ovplat
