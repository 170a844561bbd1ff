// The debug console: formatted text reaches standard output whole, however
// long it is, and characters one by one.
#include <gtest/gtest.h>

#include <string>

#include "platform/board/debug_console.h"
#include "tests/support/isolated_run.h"

using tarvelo::test::run_isolated;

TEST(DebugConsole, PrintsFormattedTextWholeWhateverItsLength) {
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{510}, std::size_t{511},
                               std::size_t{512}, std::size_t{4000}}) {
        static std::string text;
        text.assign(length, 'x');
        for (std::size_t i = 0; i < length; i += 7) text[i] = static_cast<char>('a' + i % 26);
        auto r = run_isolated([] {
            int n = DbgConsole_Printf("[%s]%d\n", text.c_str(), 42);
            DbgConsole_Putchar('!');
            return n == static_cast<int>(text.size()) + 5 ? 0 : 1;
        });
        EXPECT_EQ(r.exit_status, 0) << length;
        EXPECT_EQ(r.output, "[" + text + "]42\n!") << length;
    }
}
