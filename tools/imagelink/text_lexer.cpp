#include "tools/imagelink/text_lexer.h"

namespace tarvelo::imagelink {

std::u16string utf8_to_utf16(const std::string& s, bool* ok) {
    std::u16string out;
    bool good = true;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0;
        int extra = 0;
        if (c < 0x80) { cp = c; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { good = false; cp = 0xFFFD; }
        ++i;
        for (int k = 0; k < extra; ++k, ++i) {
            if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) { good = false; cp = 0xFFFD; break; }
            cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    if (ok) *ok = good;
    return out;
}

std::string utf16_to_utf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

static bool is_punct(char c) {
    return c == ',' || c == '(' || c == ')' || c == '{' || c == '}' || c == '=' || c == ':';
}

static int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<Token> tokenize(const std::string& src, const std::string& file) {
    std::vector<Token> out;
    int line = 1;
    std::size_t i = 0;
    auto error = [&](const std::string& msg) { fail(SourceLocation{file, line}, msg); };
    while (i < src.size()) {
        const char c = src[i];
        if (c == '\n') {
            out.push_back({Token::Kind::Newline, {}, {}, line});
            ++line;
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') { ++i; continue; }
        if (c == '#' || (c == '/' && i + 1 < src.size() && src[i + 1] == '/')) {
            while (i < src.size() && src[i] != '\n') ++i;
            continue;
        }
        if (is_punct(c)) {
            out.push_back({Token::Kind::Punct, std::string(1, c), {}, line});
            ++i;
            continue;
        }
        if (c == '"' || c == '\'') {
            const char quote = c;
            ++i;
            std::string utf8;
            std::u16string units;
            auto flush = [&] {
                bool ok = true;
                units += utf8_to_utf16(utf8, &ok);
                if (!ok) error("malformed UTF-8 in a literal");
                utf8.clear();
            };
            bool closed = false;
            while (i < src.size()) {
                const char d = src[i];
                if (d == '\n') break;
                if (d == quote) { closed = true; ++i; break; }
                if (d != '\\') { utf8 += d; ++i; continue; }
                if (i + 1 >= src.size()) break;
                const char e = src[i + 1];
                i += 2;
                switch (e) {
                    case 'n': utf8 += '\n'; break;
                    case 't': utf8 += '\t'; break;
                    case 'r': utf8 += '\r'; break;
                    case '0': utf8 += '\0'; break;
                    case '\\': utf8 += '\\'; break;
                    case '"': utf8 += '"'; break;
                    case '\'': utf8 += '\''; break;
                    case 'u': case 'x': {
                        const int digits = e == 'u' ? 4 : 2;
                        std::uint32_t v = 0;
                        for (int k = 0; k < digits; ++k) {
                            const int h = i < src.size() ? hex_value(src[i]) : -1;
                            if (h < 0) error(std::string("bad \\") + e + " escape");
                            v = v * 16 + static_cast<std::uint32_t>(h);
                            ++i;
                        }
                        flush();
                        units += static_cast<char16_t>(v);
                        break;
                    }
                    default:
                        error(std::string("unknown escape \\") + e);
                }
            }
            if (!closed) error(quote == '"' ? "unterminated string" : "unterminated character literal");
            flush();
            if (quote == '\'') {
                if (units.size() != 1) error("a character literal holds exactly one UTF-16 unit");
                out.push_back({Token::Kind::Char, {}, units, line});
            } else {
                out.push_back({Token::Kind::String, {}, units, line});
            }
            continue;
        }
        std::size_t j = i;
        while (j < src.size()) {
            const char d = src[j];
            if (d == ' ' || d == '\t' || d == '\r' || d == '\n' || d == '"' || d == '\'' || d == '#' || is_punct(d)) break;
            if (d == '/' && j + 1 < src.size() && src[j + 1] == '/') break;
            ++j;
        }
        out.push_back({Token::Kind::Word, src.substr(i, j - i), {}, line});
        i = j;
    }
    out.push_back({Token::Kind::Newline, {}, {}, line});
    out.push_back({Token::Kind::End, {}, {}, line});
    return out;
}

}  // namespace tarvelo::imagelink
