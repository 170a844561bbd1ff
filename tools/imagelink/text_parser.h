// The text front end: reads image sources (README.md describes the form)
// into the linker's model.
#pragma once

#include <string>
#include <vector>

#include "tools/imagelink/model.h"

namespace tarvelo::imagelink {

struct ParseOptions {
    std::vector<std::string> include_dirs;  // searched after the including file's directory
};

// Reads the file at `path` and everything it includes into `program`.
void parse_file(Program& program, const std::string& path, const ParseOptions& options = {});

// Reads source text; `file` names it in errors and anchors relative paths.
void parse_text(Program& program, const std::string& text, const std::string& file,
                const ParseOptions& options = {});

// The contents of a file the source names; an error at `at` saying why
// when it is a directory or cannot be read (`what`: "the resource file").
std::string read_source_file(const std::string& path, const SourceLocation& at, const std::string& what);

// Numbers as written in image sources: decimal, 0x hex or 0b binary
// integers (an L suffix marks a long), and floating constants (1.5, 2e3,
// an f suffix for float; nan, inf, -inf).
bool parse_integer(const std::string& text, std::int64_t& value, bool* long_suffix = nullptr);
bool parse_floating(const std::string& text, double& value, bool* single = nullptr);

// Register names: "p5", "p-1" (primitive window), "r0", "r-2" (reference window).
bool parse_register_name(const std::string& text, RegisterAlias& reg);

}  // namespace tarvelo::imagelink
