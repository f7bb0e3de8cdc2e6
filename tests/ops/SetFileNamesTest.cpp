#include "ops/SetFileNames.h"

#include <gtest/gtest.h>

namespace {

// Whatever a recovery set names, only this file's own parts and the file itself may be opened.
TEST(SetFileNames, OnlyPlainNamesOfThisFileAreParts) {
    const struct {
        const wchar_t* name;
        SetFileRole role;
        uint32_t number;
    } cases[] = {
        {L"x.bin.001", SetFileRole::Part, 1},        {L"X.BIN.012", SetFileRole::Part, 12},
        {L"x.bin.1000", SetFileRole::Part, 1000},    {L"x.bin", SetFileRole::Whole, 0},
        {L"X.Bin", SetFileRole::Whole, 0},           {L"x.bin.0001", SetFileRole::Foreign, 0},
        {L"x.bin.000", SetFileRole::Foreign, 0},     {L"y.bin.001", SetFileRole::Foreign, 0},
        {L"..\\x.bin.001", SetFileRole::Foreign, 0}, {L"x.bin.001:s", SetFileRole::Foreign, 0},
        {L"x.bin ", SetFileRole::Foreign, 0},        {L"", SetFileRole::Foreign, 0},
    };
    for (const auto& c : cases) {
        uint32_t number = 99;
        EXPECT_EQ(RoleOfSetFile(c.name, L"x.bin", number), c.role) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
    }
}

// Never a folder, drive, stream, device (with any extension), wildcard, control character or
// trailing dot or blank, nor more than a name's 255 units.
TEST(SetFileNames, OnlyPlainNamesOpenAFileInTheFolder) {
    for (const wchar_t* name : {L"CON", L"prn", L"nul.txt", L"NUL .txt", L"com9.bin", L"LPT1",
                                L"COM\u00B9", L"CONIN$", L"..", L"a/b", L"a*", L"a\tb", L"name."})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    for (const wchar_t* name : {L"COM10", L"console", L"nul1", L"LPT", L" a", L"..a"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    EXPECT_TRUE(IsPlainFileName(std::wstring(255, L'a').c_str()));
    EXPECT_FALSE(IsPlainFileName(std::wstring(256, L'a').c_str()));
}

} // namespace
