#include "vm/memory/object_keys.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "tests/vm/memory/synthetic_heap.h"
#include "vm/model/string_record.h"

namespace tarvelo::test {
namespace {

class ObjectKeysTest : public ::testing::Test, public HeapTest {
  protected:
    void SetUp() override { build(16 * 1024); }
    void TearDown() override { tearDown(); }

    // A char array holding `text` and a String of `type` over chars
    // [offset, offset + count) of it, kept in root slots.
    word_t newString(const std::u16string& text, std::int32_t offset, std::int32_t count,
                     word_t type = 0) {
        word_t chars = newArray(t.charArray, static_cast<std::int32_t>(text.size()));
        for (std::size_t i = 0; i < text.size(); ++i) {
            *to_ptr<char16_t>(chars + 12 + 2 * static_cast<word_t>(i)) = text[i];
        }
        root(next_) = chars;
        word_t s = newObject(type != 0 ? type : t.string);
        chars = root(next_);
        root(next_++) = s;
        wordAt(s - 4) = chars;
        wordAt(s + 8) = static_cast<std::uint32_t>(offset);
        wordAt(s + 12) = static_cast<std::uint32_t>(count);
        return s;
    }
    word_t newBytes(const std::string& bytes) {
        word_t a = newArray(t.byteArray, static_cast<std::int32_t>(bytes.size()));
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            *to_ptr<char>(ByteArrayKey::bytes(a) + static_cast<word_t>(i)) = bytes[i];
        }
        root(next_++) = a;
        return a;
    }

    const SyntheticTypes& t = syntheticTypes();
    std::uint32_t next_ = 0;
};

TEST_F(ObjectKeysTest, StringHashIsTheStandardHashOfItsCharacters) {
    struct Case {
        std::u16string text;
        std::int32_t offset;
        std::int32_t count;
        std::u16string chars;  // the characters hashed
    } cases[] = {{u"main", 0, 4, u"main"},
                 {u"xxmainyy", 2, 4, u"main"},
                 {u"", 0, 0, u""},
                 {u"\u00e9t\u00e9 \u20ac", 0, 5, u"\u00e9t\u00e9 \u20ac"},
                 {u"abc", 1, 0, u""},
                 // A range outside its array has no characters.
                 {u"abc", 2, 2, u""},
                 {u"abc", -1, 2, u""}};
    for (const auto& c : cases) {
        word_t s = newString(c.text, c.offset, c.count);
        EXPECT_EQ(StringKey::hashCode(s), image::string_hash(c.chars.data(), c.chars.size()))
            << c.offset << "+" << c.count;
    }
}

TEST_F(ObjectKeysTest, StringEqualityTable) {
    // Every object is made first and kept in a root slot: the allocations
    // may move the ones made before.
    struct Case {
        const char* what;
        std::uint32_t slot;  // 0: null
        bool equal;
    } cases[] = {
        {"itself", 0, true},
        {"same characters elsewhere in another array", 0, true},
        {"a prefix", 0, false},
        {"longer", 0, false},
        {"one character differs", 0, false},
        {"a subclass of String", 0, false},
        {"not a String", 0, false},
        {"null", 0, false},
    };
    newString(u"main", 0, 4);
    cases[0].slot = 0;
    newString(u"--main", 2, 4);
    cases[1].slot = next_ - 1;
    newString(u"mai", 0, 3);
    cases[2].slot = next_ - 1;
    newString(u"mainx", 0, 5);
    cases[3].slot = next_ - 1;
    newString(u"maim", 0, 4);
    cases[4].slot = next_ - 1;
    newString(u"main", 0, 4, t.stringSub);
    cases[5].slot = next_ - 1;
    root(next_) = newObject(t.node1);
    cases[6].slot = next_++;
    root(next_) = 0;
    cases[7].slot = next_++;
    for (const auto& c : cases) EXPECT_EQ(StringKey::equals(root(0), root(c.slot)), c.equal) << c.what;
}

TEST_F(ObjectKeysTest, ByteArrayEqualityTable) {
    struct Case {
        const char* what;
        const char* bytes;  // null: a null reference
        bool equal;
    } cases[] = {
        {"itself", nullptr, true},
        {"same bytes", "abc", true},
        {"a prefix", "ab", false},
        {"one byte differs", "abd", false},
        {"empty", "", false},
        {"null", nullptr, false},
    };
    newBytes("abc");
    for (std::size_t i = 1; i < std::size(cases); ++i) {
        if (cases[i].bytes != nullptr) {
            newBytes(cases[i].bytes);
        } else {
            root(next_++) = 0;
        }
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ByteArrayKey::equals(root(0), root(static_cast<std::uint32_t>(i))), cases[i].equal)
            << cases[i].what;
    }
    newBytes("");
    newBytes("");
    EXPECT_TRUE(ByteArrayKey::equals(root(next_ - 2), root(next_ - 1)));
    EXPECT_EQ(ByteArrayKey::bytes(root(0)), root(0) + 12);
}

}  // namespace
}  // namespace tarvelo::test
