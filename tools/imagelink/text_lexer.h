// Tokens of the image text form. Words are runs of characters other than
// blanks, punctuation (, ( ) { } = :) and quotes; numbers, names,
// registers and descriptors are all words. Comments run from '#' or '//'
// to the end of the line.
#pragma once

#include <string>
#include <vector>

#include "tools/imagelink/link_error.h"

namespace tarvelo::imagelink {

struct Token {
    enum class Kind : unsigned char { Word, String, Char, Punct, Newline, End };
    Kind kind = Kind::End;
    std::string text;       // Word; Punct (one character)
    std::u16string chars;   // String, Char (one unit)
    int line = 0;

    bool is_punct(char c) const { return kind == Kind::Punct && text.size() == 1 && text[0] == c; }
    bool is_word(const char* w) const { return kind == Kind::Word && text == w; }
};

// Splits `source` into tokens; malformed literals are errors at their line.
std::vector<Token> tokenize(const std::string& source, const std::string& file);

// UTF-8 to UTF-16; `ok` false on malformed input.
std::u16string utf8_to_utf16(const std::string& s, bool* ok = nullptr);
std::string utf16_to_utf8(const std::u16string& s);

}  // namespace tarvelo::imagelink
