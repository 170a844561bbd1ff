// Errors of the image linker: every one names the source file and line it
// comes from, so that a malformed image source is easy to fix.
#pragma once

#include <stdexcept>
#include <string>

#include "tools/imagelink/tool_support.h"

namespace tarvelo::imagelink {

struct SourceLocation {
    std::string file;
    int line = 0;

    std::string str() const {
        if (file.empty()) return "<image>";
        return line > 0 ? file + ":" + std::to_string(line) : file;
    }
};

class LinkError : public std::runtime_error {
public:
    LinkError(const SourceLocation& where, const std::string& message)
        : std::runtime_error(printable(where.str(), false) + ": error: " + printable(message)), where_(where), message_(message) {}
    const SourceLocation& where() const { return where_; }
    const std::string& message() const { return message_; }

private:
    SourceLocation where_;
    std::string message_;
};

[[noreturn]] inline void fail(const SourceLocation& where, const std::string& message) {
    throw LinkError(where, message);
}

}  // namespace tarvelo::imagelink
