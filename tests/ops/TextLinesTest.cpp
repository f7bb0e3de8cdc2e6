#include "ops/TextLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// LF or CR LF ends a line, a lone CR does not; a byte-order mark in front is skipped.
TEST(TextLines, LineEnds) {
    using Lines = std::vector<std::string>;
    const std::pair<std::string, Lines> cases[] = {
        {"", {}},
        {"\xEF\xBB\xBF", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"\xEF\xBB\xBF"
         "a\r\nb\n\r\n",
         {"a", "b", ""}},
        {"a\rb\r", {"a\rb"}},
        {"\xEF\xBB", {"\xEF\xBB"}},
    };
    for (const auto& c : cases) {
        Lines lines;
        TextLines reader(c.first.data(), c.first.size());
        const char* line = nullptr;
        size_t length = 0;
        while (reader.Next(line, length)) {
            lines.emplace_back(line, length);
            EXPECT_EQ(reader.Number(), lines.size());
        }
        EXPECT_EQ(lines, c.second) << c.first;
    }
}

} // namespace
