// The image linker's passes in order, and the command-line driver.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tools/imagelink/linked_image.h"
#include "tools/imagelink/model.h"

namespace tarvelo::imagelink {

// Where the linker materializes an image to verify it; any 16-aligned
// address works, the layout does not depend on it.
inline constexpr std::uint32_t kVerifyBase = 0x10000000u;

// Lays out and emits a parsed program, then verifies the result; throws
// LinkError on a malformed program or an image that fails verification.
LinkedImage link_program(Program& program, bool verify = true);

// Parses and links source text (tests, tools).
LinkedImage link_text(const std::string& text, const std::string& file_name = "<text>",
                      const std::vector<std::string>& include_dirs = {});

struct LinkOptions {
    std::string input;
    std::vector<std::string> include_dirs;
    std::map<std::string, std::uint32_t> config;  // overrides
    bool weak_externals = false;
    bool verify = true;
    std::string output;   // assembler source
    std::string map;      // image map
    std::string listing;  // disassembly
    std::string depfile;  // make-style dependencies of the output
};

// Runs the linker as the command line asks; returns the exit status and
// reports errors on `err`. Outputs are written whole or not at all.
int run_linker(const LinkOptions& options, std::ostream& err);

// Links the application source `application` against the kernel image
// source `options.input` into an application file at `options.output`
// (and its depfile when asked).
int run_application_linker(const LinkOptions& options, const std::string& application, std::ostream& err);

}  // namespace tarvelo::imagelink
