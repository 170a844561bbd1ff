#include "tools/imagelink/tool_support.h"

#include "tools/imagelink/link_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace tarvelo::imagelink {

namespace fs = std::filesystem;

namespace {

std::string reason(int e) { return std::strerror(e ? e : EIO); }

// Length of the valid UTF-8 sequence of a non-ASCII character at `i`, or 0.
std::size_t utf8_length(const std::string& s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; }
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    // No overlong forms, surrogates or values past U+10FFFF.
    static const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0;
    return n;
}

}  // namespace

std::string printable(const std::string& text, bool keep_newlines) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const std::size_t n = utf8_length(text, i)) {
                out.append(text, i, n);
                i += n;
                continue;
            }
        } else if ((c >= 0x20 && c != 0x7F) || (c == '\n' && keep_newlines)) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        char b[8];
        std::snprintf(b, sizeof b, "\\x%02x", c);
        out += b;
        ++i;
    }
    return out;
}

void report_error(std::ostream& err, const std::string& where, const std::string& message) {
    err << printable(where, false) << ": error: " << printable(message) << "\n";
}

bool parse_u32(const std::string& text, std::uint32_t& value, std::string* why) {
    auto bad = [&](const char* m) {
        if (why) *why = m;
        return false;
    };
    if (text.empty()) return bad("no number");
    if (text[0] == '-') return bad("a negative number");
    std::size_t i = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    std::uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return bad(base == 16 ? "not a hexadecimal number" : "not a number");
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) return bad("more than 32 bits");
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

std::string read_input_file(const std::string& path, bool allow_empty) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw ToolError(path, "is a directory");
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(path, "cannot read: " + reason(errno ? errno : ENOENT));
    std::ostringstream ss;
    try {
        ss << in.rdbuf();
    } catch (const std::bad_alloc&) {
        throw ToolError(path, "too large to read into memory");
    }
    if (in.bad()) throw ToolError(path, "cannot read: " + reason(errno));
    std::string text = ss.str();
    if (text.empty() && !allow_empty) throw ToolError(path, "is empty");
    return text;
}

void OutputFiles::commit() {
    std::vector<fs::path> temporaries;
    auto discard = [&] {
        std::error_code ec;
        for (const fs::path& t : temporaries) fs::remove(t, ec);
    };
    for (const auto& [path, content] : files_) {
        const fs::path target(path);
        std::error_code ec;
        if (fs::is_directory(target, ec)) {
            discard();
            throw ToolError(path, "cannot write: is a directory");
        }
        const fs::path tmp = target.parent_path() / (target.filename().string() + ".tmp" + std::to_string(::getpid()));
        errno = 0;
        std::FILE* f = std::fopen(tmp.c_str(), "wb");
        if (!f) {
            const int e = errno;
            discard();
            throw ToolError(path, "cannot write: " + reason(e));
        }
        temporaries.push_back(tmp);
        const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
        const int e = errno;
        const bool closed = std::fclose(f) == 0;
        if (!written || !closed) {
            const int why = e ? e : errno;
            discard();
            throw ToolError(path, "cannot write: " + reason(why));
        }
    }
    for (std::size_t i = 0; i < files_.size(); ++i) {
        std::error_code ec;
        fs::rename(temporaries[i], files_[i].first, ec);
        if (ec) {
            discard();
            throw ToolError(files_[i].first, "cannot replace: " + ec.message());
        }
    }
}

void write_stdout(const std::string& text) {
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    const bool flushed = std::fflush(stdout) == 0;
    if (!written || !flushed || std::ferror(stdout)) throw ToolError("<standard output>", "cannot write: " + reason(errno));
}

std::string help_text(const ToolInfo& tool) {
    std::string out = tool.usage;
    out += "\n\noptions:\n";
    std::size_t width = 0;
    for (const OptionHelp& o : tool.options) width = std::max(width, std::strlen(o.option));
    for (const OptionHelp& o : tool.options) {
        out += "  ";
        out += o.option;
        out += std::string(width - std::strlen(o.option) + 2, ' ');
        out += o.text;
        out += "\n";
    }
    return out;
}

int show_help(const ToolInfo& tool) {
    try {
        write_stdout(help_text(tool));
        return 0;
    } catch (const ToolError& e) {
        report_error(std::cerr, e.where(), e.what());
        return 1;
    }
}

int bad_usage(const ToolInfo& tool, const std::string& why) {
    report_error(std::cerr, tool.name, why);
    std::cerr << tool.usage << "\n(" << tool.name << " --help lists the options)\n";
    return 2;
}

int run_reporting_errors(const ToolInfo& tool, const std::function<int()>& work, std::ostream& err) {
    try {
        return work();
    } catch (const LinkError& e) {
        err << e.what() << "\n";  // already "file:line: error: ..."
    } catch (const ToolError& e) {
        report_error(err, e.where(), e.what());
    } catch (const std::bad_alloc&) {
        report_error(err, tool.name, "out of memory");
    } catch (const std::exception& e) {
        report_error(err, tool.name, e.what());
    }
    return 1;
}

}  // namespace tarvelo::imagelink
