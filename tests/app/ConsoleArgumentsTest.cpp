#include <gtest/gtest.h>

#include "app/ConsoleArguments.h"

#include <string>
#include <vector>

namespace {

// The arguments after the program's name, split at blanks (no case here needs a blank inside).
std::vector<std::wstring> Words(const std::wstring& line) {
    std::vector<std::wstring> words;
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find(L' ', at);
        if (end == std::wstring::npos)
            end = line.size();
        if (end > at)
            words.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

struct Parsed {
    bool ok;
    std::wstring error;
};

Parsed Parse(ConsoleArguments& arguments, const std::vector<std::wstring>& words) {
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& word : words)
        pointers.push_back(word.c_str());
    WideString error;
    const bool ok = arguments.Parse(static_cast<int>(pointers.size()), pointers.data(), error);
    return {ok, error.Text()};
}

struct GoodLine {
    const wchar_t* line;
    ConsoleCommand command;
    int paths;
    uint64_t partSize;
    uint32_t partCount;
    bool checksums;
    bool joinScript;
    uint32_t recovery;
    bool deleteParts;
};

const GoodLine kGoodLines[] = {
    {L"split a --size 700M", ConsoleCommand::Split, 1, 700ull << 20, 0, true, false, 0, false},
    {L"split a b c --size=4g", ConsoleCommand::Split, 3, 4ull << 30, 0, true, false, 0, false},
    {L"split --parts 3 a", ConsoleCommand::Split, 1, 0, 3, true, false, 0, false},
    {L"split a --size 512k --no-checksums --join-script --recovery 10", ConsoleCommand::Split, 1,
     512ull << 10, 0, false, true, 10, false},
    {L"split a --size 1000", ConsoleCommand::Split, 1, 1000, 0, true, false, 0, false},
    {L"split a --size 1b", ConsoleCommand::Split, 1, 1, 0, true, false, 0, false},
    // The largest 64-bit number, in bytes and in the largest unit.
    {L"split a --size 18446744073709551615", ConsoleCommand::Split, 1, UINT64_MAX, 0, true, false,
     0, false},
    {L"split a --size 17179869183G", ConsoleCommand::Split, 1, 17179869183ull << 30, 0, true, false,
     0, false},
    {L"split a --preset cd700mb", ConsoleCommand::Split, 1, 700ull << 20, 0, true, false, 0, false},
    {L"split a --preset fat32largest", ConsoleCommand::Split, 1, 4294967295ull, 0, true, false, 0,
     false},
    {L"split a --size 1M --recovery 100", ConsoleCommand::Split, 1, 1ull << 20, 0, true, false, 100,
     false},
    // After "--" every word is a name, also one that starts with a dash.
    {L"split --size 1M -- --size -x", ConsoleCommand::Split, 2, 1ull << 20, 0, true, false, 0,
     false},
    {L"split - --size 1M", ConsoleCommand::Split, 1, 1ull << 20, 0, true, false, 0, false},
    {L"join a.001 b.001 --delete-parts", ConsoleCommand::Join, 2, 0, 0, true, false, 0, true},
    {L"install", ConsoleCommand::Install, 0, 0, 0, true, false, 0, false},
    {L"uninstall", ConsoleCommand::Uninstall, 0, 0, 0, true, false, 0, false},
    {L"--version", ConsoleCommand::Version, 0, 0, 0, true, false, 0, false},
    {L"--help", ConsoleCommand::Help, 0, 0, 0, true, false, 0, false},
    // Help anywhere asks for it alone, whatever else is wrong.
    {L"cut a -h", ConsoleCommand::Help, 0, 0, 0, true, false, 0, false},
    {L"split a /?", ConsoleCommand::Help, 0, 0, 0, true, false, 0, false},
};

TEST(ConsoleArguments, GoodCommandLines) {
    for (const GoodLine& good : kGoodLines) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(good.line)));
        ConsoleArguments arguments;
        const Parsed parsed = Parse(arguments, Words(good.line));
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
        const Parsed parsed = Parse(arguments, Words(bad.line));
        EXPECT_FALSE(parsed.ok);
        EXPECT_FALSE(parsed.error.empty());
        if (bad.error) {
            EXPECT_EQ(parsed.error, bad.error);
        }
    }
}

} // namespace
