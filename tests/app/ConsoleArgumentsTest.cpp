#include <gtest/gtest.h>

#include "app/ConsoleArguments.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    std::wstring error;
};

// The line's words stand for the arguments after the program's name (no case needs a blank inside).
Parsed Parse(ConsoleArguments& arguments, const wchar_t* line) {
    std::wistringstream stream(line);
    std::vector<std::wstring> words;
    for (std::wstring word; stream >> word;)
        words.push_back(word);
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& word : words)
        pointers.push_back(word.c_str());
    WideString error;
    const bool ok = arguments.Parse(static_cast<int>(pointers.size()), pointers.data(), error);
    return {ok, error.Text()};
}

// Fields left out take the defaults of a bare command.
struct GoodLine {
    const wchar_t* line;
    ConsoleCommand command;
    int paths = 1;
    uint64_t partSize = 0;
    uint32_t partCount = 0;
    uint32_t recovery = 0;
    bool checksums = true;
    bool joinScript = false;
    bool deleteParts = false;
};

constexpr ConsoleCommand kSplit = ConsoleCommand::Split;
const GoodLine kGoodLines[] = {
    {L"split a --size 700M", kSplit, 1, 700ull << 20},
    {L"split a b c --size=4g", kSplit, 3, 4ull << 30},
    {L"split --parts 3 a", kSplit, 1, 0, 3},
    {L"split a --size 512k --no-checksums --join-script --recovery 10", kSplit, 1, 512ull << 10, 0,
     10, false, true},
    {L"split a --size 1000", kSplit, 1, 1000},
    {L"split a --size 1b", kSplit, 1, 1},
    // The largest 64-bit number, in bytes and in the largest unit.
    {L"split a --size 18446744073709551615", kSplit, 1, UINT64_MAX},
    {L"split a --size 17179869183G", kSplit, 1, 17179869183ull << 30},
    {L"split a --preset cd700mb", kSplit, 1, 700ull << 20},
    {L"split a --preset fat32largest", kSplit, 1, 4294967295ull},
    {L"split a --size 1M --recovery 100", kSplit, 1, 1ull << 20, 0, 100},
    // After "--" every word is a name, also one that starts with a dash.
    {L"split --size 1M -- --size -x", kSplit, 2, 1ull << 20},
    {L"split - --size 1M", kSplit, 1, 1ull << 20},
    {L"join a.001 b.001 --delete-parts", ConsoleCommand::Join, 2, 0, 0, 0, true, false, true},
    // Help anywhere asks for it alone, whatever else is wrong.
    {L"cut a -h", ConsoleCommand::Help, 0},
    {L"split a /?", ConsoleCommand::Help, 0},
};

TEST(ConsoleArguments, GoodCommandLines) {
    for (const GoodLine& good : kGoodLines) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(good.line)));
        ConsoleArguments arguments;
        const Parsed parsed = Parse(arguments, good.line);
        ASSERT_TRUE(parsed.ok) << testing::PrintToString(parsed.error);
        EXPECT_EQ(arguments.Command(), good.command);
        EXPECT_EQ(arguments.Paths().Count(), good.paths);
        EXPECT_EQ(arguments.PartSize(), good.partSize);
        EXPECT_EQ(arguments.PartCount(), good.partCount);
        EXPECT_EQ(arguments.Choices().writeChecksums, good.checksums);
        EXPECT_EQ(arguments.Choices().writeJoinScript, good.joinScript);
        EXPECT_EQ(arguments.Choices().recoveryPercent, good.recovery);
        EXPECT_EQ(arguments.Choices().deleteParts, good.deleteParts);
        // Never anything the console program cannot do without a person.
        EXPECT_FALSE(arguments.Choices().openFile);
        EXPECT_FALSE(arguments.Choices().selectFiles);
    }
}

struct BadLine {
    const wchar_t* line;
    const wchar_t* error;
};

const BadLine kBadLines[] = {
    {L"", L"no command given"},
    {L"cut a", L"cut: no such command"},
    {L"Split a --size 1M", L"Split: no such command"},
    {L"split a", L"split needs --size, --parts or --preset"},
    {L"split --size 1M", L"no file named"},
    {L"join", L"no file named"},
    {L"install a", L"a: not expected here"},
    {L"split a --size 1M --parts 2", L"split takes one of --size, --parts and --preset"},
    {L"split a --size 1M --size 2M", L"split takes one of --size, --parts and --preset"},
    {L"split a --size", L"--size needs a value"},
    {L"split a --size=", nullptr},
    {L"split a --size 0", nullptr},
    {L"split a --size M", nullptr},
    {L"split a --size 1T", nullptr},
    {L"split a --size 1.5G", nullptr},
    {L"split a --size -1", nullptr},
    // One past the largest 64-bit number, and sizes whose unit carries them past it.
    {L"split a --size 18446744073709551616", nullptr},
    {L"split a --size 99999999999999999999", nullptr},
    {L"split a --size 17179869184G", nullptr},
    {L"split a --size 17592186044416M", nullptr},
    {L"split a --parts 0", nullptr},
    {L"split a --parts 4294967296", nullptr},
    {L"split a --preset floppy", L"--preset floppy: no such preset"},
    {L"split a --size 1M --recovery 101", nullptr},
    {L"split a --size 1M --recovery ten", nullptr},
    {L"split a --size 1M --no-checksums=1", L"--no-checksums takes no value"},
    {L"split a --size 1M --delete-parts", L"--delete-parts: no such option for split"},
    {L"join a.001 --size 1M", L"--size: no such option for join"},
    {L"join a.001 --to", L"--to needs a value"},
    {L"join a.001 --to=", L"--to needs a folder"},
    {L"install --to x", L"--to: no such option for install"},
    {L"split a --SIZE 1M", L"--SIZE: no such option for split"},
};

TEST(ConsoleArguments, BadCommandLines) {
    for (const BadLine& bad : kBadLines) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(bad.line)));
        ConsoleArguments arguments;
        const Parsed parsed = Parse(arguments, bad.line);
        EXPECT_FALSE(parsed.ok);
        EXPECT_FALSE(parsed.error.empty());
        if (bad.error) {
            EXPECT_EQ(parsed.error, bad.error);
        }
    }
}

} // namespace
