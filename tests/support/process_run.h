// Runs a program (a firmware executable) and collects its standard output
// and exit status.
#pragma once

#include <string>
#include <vector>

namespace tarvelo::test {

struct ProcessResult {
    int exit_status = -1;  // exit status, or 128 + signal number
    std::string output;    // standard output
};

ProcessResult run_process(const std::string& path, const std::vector<std::string>& args = {},
                          const std::vector<std::string>& env = {});

// The lines of `text`, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

// The lines of a firmware's console output after "Tarvelo START", each
// ended by a line feed: what a program's .expected file holds.
std::string output_after_start(const std::string& output);

// The whole content of a file (empty when it cannot be read).
std::string read_file(const std::string& path);

}  // namespace tarvelo::test
