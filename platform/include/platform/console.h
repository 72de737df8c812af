#pragma once
// The process's command line and its standard output and error streams.
#include <string>
#include <string_view>
#include <vector>

namespace ovplat {

// The arguments after the program name as UTF-8. On Windows they are taken from the UTF-16
// command line (argc/argv are ignored there); elsewhere argv is used as given.
std::vector<std::string> command_line_arguments(int argc, char** argv);

// While alive, a Windows console shows the UTF-8 bytes written to it as UTF-8; the console's
// previous output code page comes back on destruction. Nothing elsewhere.
class Utf8ConsoleOutput {
public:
    Utf8ConsoleOutput();
    ~Utf8ConsoleOutput();
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

private:
    unsigned previous_code_page_ = 0;
};

// Write the bytes unchanged; false when not everything could be written.
bool write_standard_output(std::string_view bytes);
bool write_standard_error(std::string_view bytes);

}  // namespace ovplat
