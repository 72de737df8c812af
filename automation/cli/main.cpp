// ovctl: controls a running Orvia through its local automation API.
#include "entry.h"

#include "platform/console.h"

int main(int argc, char** argv) {
    const ovplat::Utf8ConsoleOutput utf8_console;
    return ovctl::run(ovplat::command_line_arguments(argc, argv));
}
