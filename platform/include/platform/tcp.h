#pragma once
// A blocking loopback TCP client connection for the HTTP client.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ovplat {

class TcpConnection {
public:
    // Connects to 127.0.0.1:port: a socket not inherited by child processes, at most 2 s
    // to connect, every receive limited to 60 s. nullptr and `error` on failure.
    static std::unique_ptr<TcpConnection> connect_loopback(std::uint16_t port, std::string& error);
    virtual ~TcpConnection() = default;  // closes the socket
    // Sends every byte; false and `error` on failure or a send of nothing.
    virtual bool send_all(std::string_view bytes, std::string& error) = 0;
    // Appends everything received until the peer closes; false and `error` on a receive
    // error or a time-out.
    virtual bool receive_all(std::string& out, std::string& error) = 0;
};

}  // namespace ovplat
