#include "ops/WholeCrcList.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

void ExpectRefused(const WholeCrcList& crc) {
    EXPECT_NE(crc.Problem(), ListProblem::None);
    WideString said;
    crc.DescribeProblem(said);
    EXPECT_GT(said.Length(), 0u);
}

const std::string kGood = "filename=x.bin\r\nsize=3\r\ncrc32=352441C2\r\n";

TEST(WholeCrcList, WhatFileManagersWriteIsTaken) {
    struct Taken {
        const char* what;
        std::string text;
        uint64_t size;
        uint32_t crc;
    };
    const Taken cases[] = {
        {"CR LF", kGood, 3, 0x352441C2},
        {"LF, any order, lower case, no last line end", "crc32=352441c2\nsize=3\nfilename=X.BIN", 3,
         0x352441C2},
        {"keys in upper case, byte-order mark, blank line",
         "\xEF\xBB\xBF"
         "FILENAME=x.bin\n\nSIZE=9223372036854775807\nCRC32=00000000\n",
         9223372036854775807ull, 0},
    };
    for (const Taken& c : cases) {
        SCOPED_TRACE(c.what);
        WholeCrcList crc;
        ASSERT_TRUE(crc.Parse(c.text.data(), c.text.size(), L"x.bin"));
        EXPECT_EQ(crc.Size(), c.size);
        EXPECT_EQ(crc.Crc(), c.crc);
    }
}

TEST(WholeCrcList, HostileFilesAreRefusedAsAWhole) {
    struct Case {
        const char* what;
        std::string text;
        ListProblem problem;
    };
    const Case cases[] = {
        {"empty", "", ListProblem::Nothing},
        {"NUL", kGood + std::string("\0", 1), ListProblem::NulByte},
        {"no crc32", "filename=x.bin\nsize=3\n", ListProblem::BadLine},
        {"no size", "filename=x.bin\ncrc32=352441C2\n", ListProblem::BadLine},
        {"no name", "size=3\ncrc32=352441C2\n", ListProblem::BadLine},
        {"another file", "filename=y.bin\nsize=3\ncrc32=352441C2\n", ListProblem::OutsideName},
        {"a part", "filename=x.bin.001\nsize=3\ncrc32=352441C2\n", ListProblem::OutsideName},
        {"a folder", "filename=..\\x.bin\nsize=3\ncrc32=352441C2\n", ListProblem::OutsideName},
        {"a device", "filename=CON\nsize=3\ncrc32=352441C2\n", ListProblem::OutsideName},
        {"a stream", "filename=x.bin:s\nsize=3\ncrc32=352441C2\n", ListProblem::OutsideName},
        {"bad UTF-8", "filename=x.bin\xff\nsize=3\ncrc32=352441C2\n", ListProblem::BadLine},
        {"name twice", kGood + "filename=x.bin\n", ListProblem::Twice},
        {"size twice", kGood + "size=3\n", ListProblem::Twice},
        {"negative size", "filename=x.bin\nsize=-3\ncrc32=352441C2\n", ListProblem::BadLine},
        {"size past 64 bits", "filename=x.bin\nsize=99999999999999999999\ncrc32=352441C2\n",
         ListProblem::BadLine},
        {"size with blanks", "filename=x.bin\nsize= 3\ncrc32=352441C2\n", ListProblem::BadLine},
        {"empty size", "filename=x.bin\nsize=\ncrc32=352441C2\n", ListProblem::BadLine},
        {"short crc", "filename=x.bin\nsize=3\ncrc32=352441C\n", ListProblem::BadLine},
        {"crc not hex", "filename=x.bin\nsize=3\ncrc32=352441CG\n", ListProblem::BadLine},
        {"unknown key", kGood + "md5=00\n", ListProblem::BadLine},
        {"blanks around the sign", "filename = x.bin\nsize=3\ncrc32=352441C2\n",
         ListProblem::BadLine},
        {"a huge name", "filename=" + std::string(100000, 'x') + "\nsize=3\ncrc32=352441C2\n",
         ListProblem::OutsideName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WholeCrcList crc;
        EXPECT_FALSE(crc.Parse(c.text.data(), c.text.size(), L"x.bin"));
        EXPECT_EQ(crc.Problem(), c.problem);
        ExpectRefused(crc);
    }
}

// Random damage to a good file, lying sizes and hostile names: taken whole with its three
// values, or refused whole; nothing crashes or reads past the text.
TEST(WholeCrcList, FuzzedFilesAreTakenOrRefusedWhole) {
    const char* const names[] = {"..\\x.bin", "C:x.bin", "x.bin:s", "NUL.bin", "x.bin.",
                                 "\xC3\x28",  "",        "X.BIN",   "x.bin"};
    const char* const sizes[] = {
        "0",   "3",    "18446744073709551615", "18446744073709551616", "-1",
        "1e9", "0x10", "00000000000000000003"};
    std::minstd_rand random(91);
    auto below = [&](size_t n) { return n == 0 ? 0 : random() % n; };
    int taken = 0;
    for (int round = 0; round < 5000; ++round) {
        std::string text = std::string("filename=") + names[below(9)] +
                           "\nsize=" + sizes[below(8)] + "\ncrc32=352441C2\n";
        for (int damage = static_cast<int>(below(3)); damage > 0; --damage) {
            switch (below(5)) {
            case 0:
                if (!text.empty())
                    text[below(text.size())] ^= static_cast<char>(1 << below(8));
                break;
            case 1:
                text.resize(below(text.size() + 1));
                break;
            case 2:
                text.insert(below(text.size() + 1), 1, "\0\r=\n"[below(4)]);
                break;
            case 3:
                text.insert(below(text.size() + 1), std::string(70000, "x9="[below(3)]));
                break;
            default:
                text += text.substr(below(text.size() + 1));
                break;
            }
        }
        WholeCrcList crc;
        if (crc.Parse(text.data(), text.size(), L"x.bin")) {
            ++taken;
            EXPECT_EQ(crc.Problem(), ListProblem::None);
        } else {
            ExpectRefused(crc);
        }
        if (HasFailure()) {
            ADD_FAILURE() << "round " << round;
            break;
        }
    }
    EXPECT_GT(taken, 50);
}

} // namespace
