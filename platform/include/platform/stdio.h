#pragma once
// The host's standard streams as raw bytes, and its command line as UTF-8. The host is a
// windowed program on Windows: its standard streams are the pipes its parent gave it, or
// nothing at all.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ovplat {

// The program arguments after the program name, as UTF-8 (on Windows taken from the wide
// command line, so every character survives whatever the code page).
std::vector<std::string> program_arguments(int argc, char** argv);

// Makes writes to a closed pipe fail with an error instead of ending the process.
void prepare_standard_streams();

// Reads up to `size` bytes of standard input into `buffer`, blocking until some arrive.
// 0 at the end of input or on a read error.
std::size_t read_stdin(char* buffer, std::size_t size);

// Writes `line` followed by a line feed as one piece under a process-wide lock and flushes
// it. Errors (a closed pipe, no stream at all) are ignored.
void write_stdout_line(std::string_view line);

// Writes text to standard error; lost without complaint when there is no such stream.
void write_stderr(std::string_view text);

}  // namespace ovplat
