#include "ops/OtherList.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const std::string kMd5 = "900150983cd24fb0d6963f7d28e17f72";          // of "abc"
const std::string kSha1 = "a9993e364706816aba3e25717850c26c9cd0d89d"; // of "abc"
const std::string kCrc = "352441C2";                                  // of "abc"

struct Case {
    const char* what;
    OtherKind kind;
    std::string text;
    ListProblem problem;
    uint32_t line;
};

void ExpectRefusedWhole(const OtherList& list) {
    EXPECT_NE(list.Problem(), ListProblem::None);
    EXPECT_EQ(list.Parts().Count(), 0);
    EXPECT_FALSE(list.HasWhole());
    WideString said;
    list.DescribeProblem(said);
    EXPECT_GT(said.Length(), 0u);
}

// Lists a person or a tool might leave beside the parts, and lists made to hurt: each is taken or
// refused as a whole, never half-read.
TEST(OtherList, HostileListsAreRefusedAsAWhole) {
    const std::string longName(800, 'x');
    const OtherKind sfv = OtherKind::Crc32, md5 = OtherKind::Md5, sha1 = OtherKind::Sha1;
    const Case cases[] = {
        {"empty sfv", sfv, "", ListProblem::Nothing, 0},
        {"only comments", sfv, "; cksfv\n;\n\n", ListProblem::Nothing, 0},
        {"empty md5", md5, "", ListProblem::Nothing, 0},
        {"NUL", sfv, std::string("x.bin.001 352441C2\n\0", 20), ListProblem::NulByte, 0},
        {"crc too short", sfv, "x.bin.001 352441C\n", ListProblem::BadLine, 1},
        {"crc too long", sfv, "x.bin.001 352441C2A\n", ListProblem::BadLine, 1},
        {"crc not hex", sfv, "x.bin.001 352441G2\n", ListProblem::BadLine, 1},
        {"crc only", sfv, kCrc + "\n", ListProblem::BadLine, 1},
        {"no blank before the crc", sfv, "x.bin.001" + kCrc + "\n", ListProblem::BadLine, 1},
        {"sfv folder", sfv, "..\\x.bin.001 " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv slash", sfv, "sub/x.bin.001 " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv drive", sfv, "C:x.bin.001 " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv stream", sfv, "x.bin.001:evil " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv device", sfv, "NUL " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv another file", sfv, "x.bin.001 " + kCrc + "\nnotes.txt " + kCrc + "\n",
         ListProblem::OutsideName, 2},
        {"sfv the list itself", sfv, "x.bin.sfv " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv part zero", sfv, "x.bin.000 " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv name too long", sfv, longName + " " + kCrc + "\n", ListProblem::OutsideName, 1},
        {"sfv bad UTF-8", sfv, "x.bin\xff.001 " + kCrc + "\n", ListProblem::BadLine, 1},
        {"sfv part twice", sfv, "x.bin.002 " + kCrc + "\nX.BIN.002 " + kCrc + "\n",
         ListProblem::Twice, 0},
        {"sfv whole twice", sfv, "x.bin " + kCrc + "\nx.bin " + kCrc + "\n", ListProblem::Twice, 2},
        {"md5 with a SHA-1", md5, kSha1 + "  x.bin.001\n", ListProblem::BadLine, 1},
        {"sha1 with an MD5", sha1, kMd5 + "  x.bin.001\n", ListProblem::BadLine, 1},
        {"md5 one blank", md5, kMd5 + " x.bin.001\n", ListProblem::BadLine, 1},
        {"md5 no name", md5, kMd5 + "  \n", ListProblem::BadLine, 1},
        {"md5 blank line", md5, kMd5 + "  x.bin.001\n\n", ListProblem::BadLine, 2},
        {"md5 BSD style", md5, "MD5 (x.bin.001) = " + kMd5 + "\n", ListProblem::BadLine, 1},
        {"md5 folder", md5, kMd5 + "  ..\\x.bin.001\n", ListProblem::OutsideName, 1},
        {"md5 device with extension", md5, kMd5 + " *COM1.txt\n", ListProblem::OutsideName, 1},
        {"md5 escaped line feed", md5, "\\" + kMd5 + "  x.bin\\n.001\n", ListProblem::OutsideName,
         1},
        {"md5 unknown escape", md5, "\\" + kMd5 + "  x.bin\\x.001\n", ListProblem::BadLine, 1},
        {"md5 escape at the end", md5, "\\" + kMd5 + "  x.bin.001\\\n", ListProblem::BadLine, 1},
        {"md5 escaped name too long", md5, "\\" + kMd5 + "  " + longName + "\n",
         ListProblem::OutsideName, 1},
        {"sha1 trailing dot", sha1, kSha1 + "  x.bin.001.\n", ListProblem::OutsideName, 1},
        {"sha1 lone CR line ends", sha1, kSha1 + "  x.bin.001\r" + kSha1 + "  x.bin.002\r",
         ListProblem::OutsideName, 1},
        {"sha1 part twice", sha1, kSha1 + "  x.bin.001\n" + kSha1 + " *x.bin.001\n",
         ListProblem::Twice, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OtherList list;
        EXPECT_FALSE(list.Parse(c.kind, c.text.data(), c.text.size(), L"x.bin"));
        EXPECT_EQ(list.Problem(), c.problem);
        EXPECT_EQ(list.ProblemLine(), c.line);
        ExpectRefusedWhole(list);
    }
}

// What cksfv, md5sum and sha1sum write, and what Windows tools and editors make of it: comments,
// CR LF, a byte-order mark, the binary mark, escaped names, blanks in names, any case, the whole
// file's line.
TEST(OtherList, WhatThePeersWriteIsTaken) {
    struct Taken {
        const char* what;
        OtherKind kind;
        const wchar_t* whole;
        std::string text;
        uint32_t firstPart;
        int32_t parts;
        bool hasWhole;
    };
    const Taken cases[] = {
        {"cksfv", OtherKind::Crc32, L"x.bin",
         "; Generated by cksfv v1.3.15 on 2026-12-09 at 04:10.48\n; Project web site: x\n;\n"
         ";            3  04:10.48 2026-12-09 x.bin.002\n"
         "x.bin.002 352441C2\nx.bin.001 00000000\n",
         1, 2, false},
        {"sfv on Windows: CR LF, mark, blanks, tab, lower case", OtherKind::Crc32, L"x b.bin",
         "\xEF\xBB\xBFX B.Bin.003   352441c2\r\n\r\nx b.bin.004\t352441C2  \r\n", 3, 2, false},
        {"sfv with the whole file", OtherKind::Crc32, L"x.bin", "x.bin 352441C2\n", 0, 0, true},
        {"md5sum", OtherKind::Md5, L"x.bin",
         "# made by hand\n" + kMd5 + "  x.bin.002\n" + kMd5 + " *x.bin.001\r\n" + kMd5 + "  x.bin",
         1, 2, true},
        {"md5sum's escape mark, nothing escaped", OtherKind::Md5, L"x.bin",
         "\\" + kMd5 + "  x.bin.001\n", 1, 1, false},
        {"sha1sum, upper case", OtherKind::Sha1, L"x.bin",
         "A9993E364706816ABA3E25717850C26C9CD0D89D *x.bin.1000\n", 1000, 1, false},
    };
    for (const Taken& c : cases) {
        SCOPED_TRACE(c.what);
        OtherList list;
        ASSERT_TRUE(list.Parse(c.kind, c.text.data(), c.text.size(), c.whole))
            << static_cast<int>(list.Problem()) << " line " << list.ProblemLine();
        EXPECT_EQ(list.HasWhole(), c.hasWhole);
        ASSERT_EQ(list.Parts().Count(), c.parts);
        if (c.parts != 0) {
            EXPECT_EQ(list.Parts()[0].part, c.firstPart);
        }
    }
    OtherList list;
    const Taken& cksfv = cases[0];
    ASSERT_TRUE(list.Parse(cksfv.kind, cksfv.text.data(), cksfv.text.size(), cksfv.whole));
    const OtherCheck* second = list.ForPart(2);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->bytes[0], 0x35); // high byte first
    EXPECT_EQ(second->bytes[3], 0xC2);
    EXPECT_EQ(list.ForPart(3), nullptr);
}

// Random damage to lists that would be taken: whatever comes of it is taken whole, with only
// parts of the set, or refused whole; nothing crashes or reads past the text.
TEST(OtherList, FuzzedListsAreTakenOrRefusedWhole) {
    const char* const hostile[] = {"..\\x.bin.001",  "C:\\x.bin.001", "x.bin.001:s",      "NUL",
                                   "COM1.txt",       "x.bin.001. ",   "\xC3\x28\xFF",     "",
                                   "x.bin.\xE2\x82", "\\\\?\\C:\\x",  "x.bin.99999999999"};
    const std::string seeds[] = {
        "; c\nx.bin.001 352441C2\r\nx.bin.002 00000000\nx.bin 0000FFFF\n",
        kMd5 + "  x.bin.001\n" + kMd5 + " *x.bin.002\n\\" + kMd5 + "  x.bin\n",
        kSha1 + "  x.bin.003\n# c\n" + kSha1 + "  x.bin.001\r\n",
    };
    std::minstd_rand random(20261209);
    auto below = [&](size_t n) { return n == 0 ? 0 : random() % n; };
    int taken = 0;
    for (int round = 0; round < 6000; ++round) {
        const int seed = static_cast<int>(below(3));
        std::string text = seeds[seed];
        for (int damage = 1 + static_cast<int>(below(3)); damage > 0; --damage) {
            switch (below(7)) {
            case 0: // flipped bits
                if (!text.empty())
                    text[below(text.size())] ^= static_cast<char>(1 << below(8));
                break;
            case 1: // cut
                text.resize(below(text.size() + 1));
                break;
            case 2: // a NUL, a CR or a blank somewhere
                text.insert(below(text.size() + 1), 1, "\0\r \t\\*"[below(6)]);
                break;
            case 3: { // a hostile name in place of a part's
                const size_t at = text.find("x.bin.00");
                if (at != std::string::npos)
                    text.replace(at, 9, hostile[below(sizeof hostile / sizeof *hostile)]);
                break;
            }
            case 4: // a huge line
                text.insert(below(text.size() + 1), std::string(100000 + below(1000), 'x'));
                break;
            case 5: // lines doubled
                text += text.substr(below(text.size() + 1));
                break;
            default: // random bytes
                for (size_t n = below(64); n > 0; --n)
                    text.insert(below(text.size() + 1), 1, static_cast<char>(random()));
                break;
            }
        }
        OtherList list;
        const OtherKind kind = static_cast<OtherKind>(seed);
        if (list.Parse(kind, text.data(), text.size(), L"x.bin")) {
            ++taken;
            EXPECT_EQ(list.Problem(), ListProblem::None);
            for (int32_t i = 0; i < list.Parts().Count(); ++i) {
                EXPECT_GE(list.Parts()[i].part, 1u);
                if (i != 0) {
                    EXPECT_LT(list.Parts()[i - 1].part, list.Parts()[i].part);
                }
            }
        } else {
            ExpectRefusedWhole(list);
        }
        if (HasFailure()) {
            ADD_FAILURE() << "round " << round;
            break;
        }
    }
    // The damage leaves some lists good, or the test would check only refusals.
    EXPECT_GT(taken, 100);
}

} // namespace
