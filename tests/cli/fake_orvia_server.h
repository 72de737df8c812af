#pragma once
// A loopback TCP server for client tests: it answers each connection with the next scripted
// raw answer (sent as given, then the connection is closed) and records every request.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ovctl::testing {

class FakeOrviaServer {
public:
    FakeOrviaServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~FakeOrviaServer() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);  // wakes the blocked accept
        thread_.join();
        ::close(listener_);
    }

    std::uint16_t port() const { return port_; }

    // The raw bytes of the next answer; the connection closes right after them.
    void add_answer(std::string raw) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(raw));
    }

    // "HTTP/1.1 {status} X" with a plain body.
    void add_answer(int status, std::string_view body) {
        add_answer("HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: application/json\r\n\r\n" +
                   std::string(body));
    }

    // The complete requests received so far (head and body), in order.
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void serve() {
        for (;;) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) {
                if (stopping_) return;
                continue;
            }
            std::string request = read_request(client);
            std::string answer;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(std::move(request));
                if (!answers_.empty()) {
                    answer = std::move(answers_.front());
                    answers_.pop_front();
                }
            }
            send_all(client, answer);
            ::close(client);
        }
    }

    // Head until the blank line, then as many body bytes as Content-Length says.
    static std::string read_request(int client) {
        std::string request;
        char buffer[4096];
        std::size_t wanted = std::string::npos;
        while (request.size() < wanted) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            request.append(buffer, static_cast<std::size_t>(got));
            const auto blank = request.find("\r\n\r\n");
            if (wanted == std::string::npos && blank != std::string::npos) {
                std::size_t length = 0;
                const auto header = request.find("Content-Length: ");
                if (header != std::string::npos && header < blank) length = std::stoul(request.substr(header + 16));
                wanted = blank + 4 + length;
            }
        }
        return request;
    }

    static void send_all(int client, std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) return;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::deque<std::string> answers_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A port on which nothing listens: bound once by the system, then released.
inline std::uint16_t unused_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace ovctl::testing
