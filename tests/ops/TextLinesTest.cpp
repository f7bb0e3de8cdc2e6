#include "ops/TextLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    TextLines reader(text.data(), text.size());
    const char* line = nullptr;
    size_t length = 0;
    while (reader.Next(line, length)) {
        lines.emplace_back(line, length);
        EXPECT_EQ(reader.Number(), lines.size());
    }
    return lines;
}

TEST(TextLines, LineEnds) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(LinesOf(""), Lines{});
    EXPECT_EQ(LinesOf("\xEF\xBB\xBF"), Lines{});
    EXPECT_EQ(LinesOf("a"), Lines{"a"});
    EXPECT_EQ(LinesOf("a\n"), Lines{"a"});
    EXPECT_EQ(LinesOf("\xEF\xBB\xBF"
                      "a\r\nb\n\r\n"),
              (Lines{"a", "b", ""}));
    EXPECT_EQ(LinesOf("a\rb\r"), Lines{"a\rb"}); // a lone CR ends no line
    EXPECT_EQ(LinesOf("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(LinesOf("\xEF\xBB"), Lines{"\xEF\xBB"});
}

TEST(TextLines, ListedNames) {
    struct Case {
        std::string name;
        bool utf8;
        SetFileRole role;
        uint32_t part;
    };
    const Case cases[] = {
        {"x.bin", true, SetFileRole::Whole, 0},
        {"X.BIN.012", true, SetFileRole::Part, 12},
        {"x.bin.0", true, SetFileRole::Foreign, 0},
        {"..\\x.bin.001", true, SetFileRole::Foreign, 0},
        {"x.bin.001::$DATA", true, SetFileRole::Foreign, 0},
        {"CON", true, SetFileRole::Foreign, 0},
        {std::string("x.bin\0.001", 10), true, SetFileRole::Foreign, 0},
        {std::string(766, 'x'), true, SetFileRole::Foreign, 0},
        {"", true, SetFileRole::Foreign, 0},
        {"x.bin\xC0\xAF", false, SetFileRole::Foreign, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        SetFileRole role = SetFileRole::Part;
        uint32_t part = 99;
        EXPECT_EQ(RoleOfListedName(c.name.data(), c.name.size(), L"x.bin", role, part), c.utf8);
        EXPECT_EQ(role, c.role);
        EXPECT_EQ(part, c.part);
    }
}

} // namespace
