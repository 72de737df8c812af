// Runs a program with its standard input switched to non-blocking, as some parents hand it
// over: ov-nonblocking-stdin <program> [arguments...].
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: ov-nonblocking-stdin <program> [arguments...]\n", stderr);
        return 2;
    }
    const int flags = fcntl(STDIN_FILENO, F_GETFL);
    if (flags < 0 || fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK) < 0) {
        std::perror("ov-nonblocking-stdin: fcntl");
        return 2;
    }
    execv(argv[1], argv + 1);
    std::perror("ov-nonblocking-stdin: execv");
    return 127;
}
