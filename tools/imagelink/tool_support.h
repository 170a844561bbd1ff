// What the three command-line tools share: one message format
// ("file[:line]: error: ..."), text made printable, strict numbers, whole
// files read with the system's reason for a failure, and outputs that are
// written whole or not at all.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarvelo::imagelink {

// `text` with every byte that is not printable (control bytes, bytes that
// are not part of valid UTF-8) written as \xHH; line breaks are kept when
// `keep_newlines`.
std::string printable(const std::string& text, bool keep_newlines = true);

// Writes "where: error: message" (where may be a tool's name) on `err`.
void report_error(std::ostream& err, const std::string& where, const std::string& message);

// An error of a tool that names what it concerns: a file, an option, the
// tool itself.
class ToolError : public std::runtime_error {
public:
    ToolError(std::string where, const std::string& message)
        : std::runtime_error(message), where_(std::move(where)) {}
    const std::string& where() const { return where_; }

private:
    std::string where_;
};

// An unsigned number of at most 32 bits, decimal or 0x hexadecimal; no
// sign, nothing after it. False with the reason in `why`.
bool parse_u32(const std::string& text, std::uint32_t& value, std::string* why);

// The whole contents of a file; throws ToolError naming `path` and the
// system's reason, also when it is a directory or (unless `allow_empty`)
// empty.
std::string read_input_file(const std::string& path, bool allow_empty = false);

// Files written together: each goes to a temporary next to its target, and
// only when every one is written are they renamed over their targets. A
// failure removes the temporaries and leaves every target as it was (as far
// as renames within one directory can promise).
class OutputFiles {
public:
    void add(std::string path, std::string content) { files_.emplace_back(std::move(path), std::move(content)); }
    // Throws ToolError naming the file that could not be written and why.
    void commit();

private:
    std::vector<std::pair<std::string, std::string>> files_;
};

// Writes `text` to the standard output and flushes it; throws ToolError
// when it cannot be written (a full disk, a size limit, a closed pipe).
void write_stdout(const std::string& text);

// A tool's command line: its name, usage lines and one help line per option.
struct OptionHelp {
    const char* option;
    const char* text;
};
struct ToolInfo {
    const char* name;
    const char* usage;
    std::vector<OptionHelp> options;
};
// The usage and every option, one line each.
std::string help_text(const ToolInfo& tool);
// Prints the help on the standard output; the exit status (0).
int show_help(const ToolInfo& tool);
// Reports a bad command line (which option or value, and why) with the
// usage; the exit status (2).
int bad_usage(const ToolInfo& tool, const std::string& why);
// Runs the tool's work and turns every error into its message and exit
// status 1 (out of memory included), reported on `err`.
int run_reporting_errors(const ToolInfo& tool, const std::function<int()>& work, std::ostream& err);

}  // namespace tarvelo::imagelink
