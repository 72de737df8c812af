/* ov-status-floor: the least a status command can do, as a yardstick for `ovctl status`.
 * It makes the same two loopback requests with the same headers (GET /v1/ping, then
 * POST /v1/cmd/status with the bearer token), each on a fresh connection, reads each answer
 * to the end and writes the second body to standard output. No parsing, no rendering.
 *
 * usage: ov-status-floor <port> <token>
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ov/version.h"

static char answer[(1 << 16) + 1];

/* Sends the request on a fresh connection and reads until the server closes it. Returns the
 * answer's length, or -1. */
static int exchange(unsigned short port, const char* request, size_t length) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int got = -1;
    if (connect(fd, (struct sockaddr*)&address, sizeof address) == 0) {
        size_t sent = 0;
        while (sent < length) {
            ssize_t n = send(fd, request + sent, length - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += (size_t)n;
        }
        if (sent == length) {
            size_t used = 0;
            ssize_t n;
            while (used < sizeof answer - 1 && (n = recv(fd, answer + used, sizeof answer - 1 - used, 0)) > 0)
                used += (size_t)n;
            answer[used] = 0;
            got = (int)used;
        }
    }
    close(fd);
    return got;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: ov-status-floor <port> <token>\n", stderr);
        return 2;
    }
    const unsigned short port = (unsigned short)strtoul(argv[1], NULL, 10);
    char request[1024];
    int length = snprintf(request, sizeof request,
                          "GET /v1/ping HTTP/1.1\r\nHost: 127.0.0.1:%u\r\nUser-Agent: ovctl/" OV_VERSION_TEXT "\r\n"
                          "Content-Type: application/json\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                          (unsigned)port);
    if (exchange(port, request, (size_t)length) <= 0) return 3;
    length = snprintf(request, sizeof request,
                      "POST /v1/cmd/status HTTP/1.1\r\nHost: 127.0.0.1:%u\r\nUser-Agent: ovctl/" OV_VERSION_TEXT "\r\n"
                      "Authorization: Bearer %s\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                      "Connection: close\r\n\r\n{}",
                      (unsigned)port, argv[2]);
    if (length <= 0 || (size_t)length >= sizeof request) return 2;
    const int got = exchange(port, request, (size_t)length);
    if (got <= 0) return 3;
    const char* body = strstr(answer, "\r\n\r\n");
    if (body) fwrite(body + 4, 1, (size_t)(got - (body + 4 - answer)), stdout);
    return 0;
}
