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
    // Connects to 127.0.0.1:port (non-inheritable socket, 2 s connect limit, 60 s receive
    // limit). nullptr and `error` on failure.
    static std::unique_ptr<TcpConnection> connect_loopback(std::uint16_t port, std::string& error);
    virtual ~TcpConnection() = default;  // closes the socket
    // Sends every byte; false on failure or a send of nothing.
    virtual bool send_all(std::string_view bytes) = 0;
    // Receives until the peer closes; false on an error or a time-out.
    virtual bool receive_all(std::string& out) = 0;
};

}  // namespace ovplat
