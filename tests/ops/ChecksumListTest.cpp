#include "ops/ChecksumList.h"
#include "ops/PartNaming.h"

#include "OpsTestSupport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using testing_support::DigestHex;

namespace {

const std::string kA = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kB = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
const std::string kC = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

struct Case {
    const char* what;
    std::string text;
    ListProblem problem;
    uint32_t line;
};

// Lists a person or a tool might leave beside the parts, and lists made to hurt: each must be
// taken or refused as a whole, never half-read.
TEST(ChecksumList, HostileListsAreRefusedAsAWhole) {
    const std::string longName(800, 'x');
    const Case cases[] = {
        {"empty file", "", ListProblem::Nothing, 0},
        {"only a comment", "# made by hand\n", ListProblem::Nothing, 0},
        {"only the byte-order mark", "\xEF\xBB\xBF", ListProblem::Nothing, 0},
        {"blank line", kA + "  report.pdf.001\n\n", ListProblem::BadLine, 2},
        {"NUL inside", kA + std::string("  report.pdf.001\0\n", 18), ListProblem::NulByte, 0},
        {"NUL in the name",
         kA + std::string("  report.pdf.0\0"
                          "01\n",
                          18),
         ListProblem::NulByte, 0},
        {"digest too short", kA.substr(1) + "  report.pdf.001\n", ListProblem::BadLine, 1},
        {"digest too long", kA + "0  report.pdf.001\n", ListProblem::BadLine, 1},
        {"not hex", "g" + kA.substr(1) + "  report.pdf.001\n", ListProblem::BadLine, 1},
        {"one blank", kA + " report.pdf.001\n", ListProblem::BadLine, 1},
        {"tab instead of blanks", kA + "\t\treport.pdf.001\n", ListProblem::BadLine, 1},
        {"no name", kA + "  \n", ListProblem::BadLine, 1},
        {"no name, no line end", kA + "  ", ListProblem::BadLine, 1},
        {"only a digest", kA + "\n", ListProblem::BadLine, 1},
        {"BSD style", "SHA256 (report.pdf.001) = " + kA + "\n", ListProblem::BadLine, 1},
        {"folder with backslash", kA + "  sub\\report.pdf.001\n", ListProblem::OutsideName, 1},
        {"folder with slash", kA + "  ../report.pdf.001\n", ListProblem::OutsideName, 1},
        {"drive", kA + "  C:report.pdf.001\n", ListProblem::OutsideName, 1},
        {"stream", kA + "  report.pdf.001:evil\n", ListProblem::OutsideName, 1},
        {"another file", kA + "  report.pdf.001\n" + kB + "  notes.txt\n", ListProblem::OutsideName,
         2},
        {"the list itself", kA + "  report.pdf.sha256\n", ListProblem::OutsideName, 1},
        {"two digits", kA + "  report.pdf.01\n", ListProblem::OutsideName, 1},
        {"leading zeros", kA + "  report.pdf.0001\n", ListProblem::OutsideName, 1},
        {"part zero", kA + "  report.pdf.000\n", ListProblem::OutsideName, 1},
        {"beyond 32 bits", kA + "  report.pdf.4294967296\n", ListProblem::OutsideName, 1},
        {"sign", kA + "  report.pdf.+01\n", ListProblem::OutsideName, 1},
        {"name too long", kA + "  " + longName + "\n", ListProblem::OutsideName, 1},
        {"bad UTF-8", kA + "  report.pdf\xff\n", ListProblem::BadLine, 1},
        {"overlong UTF-8 slash",
         kA + "  report.pdf\xc0\xaf"
              "001\n",
         ListProblem::BadLine, 1},
        {"control character", kA + "  report.pdf.001\x01\n", ListProblem::OutsideName, 1},
        {"escaped line feed", "\\" + kA + "  report.pdf\\n.001\n", ListProblem::OutsideName, 1},
        {"unknown escape", "\\" + kA + "  report.pdf\\x.001\n", ListProblem::BadLine, 1},
        {"escape at the end", "\\" + kA + "  report.pdf.001\\\n", ListProblem::BadLine, 1},
        {"whole file twice", kA + "  report.pdf\n" + kB + "  report.pdf\n", ListProblem::Twice, 2},
        {"part twice", kA + "  report.pdf.002\n" + kB + "  report.pdf.002\n", ListProblem::Twice,
         0},
        {"lone CR line ends", kA + "  report.pdf.001\r" + kB + "  report.pdf.002\r",
         ListProblem::OutsideName, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChecksumList list;
        EXPECT_FALSE(list.Parse(c.text.data(), c.text.size(), L"report.pdf"));
        EXPECT_EQ(list.Problem(), c.problem);
        EXPECT_EQ(list.ProblemLine(), c.line);
        EXPECT_EQ(list.Parts().Count(), 0);
        EXPECT_FALSE(list.HasWhole());
        WideString said;
        list.DescribeProblem(said);
        EXPECT_GT(said.Length(), 0u);
    }
}

// Random damage to lists that would be taken, some with hostile names: whatever comes of it is
// taken whole, with parts in order once each, or refused whole; nothing is read past the text.
TEST(ChecksumList, FuzzedListsAreTakenOrRefusedWhole) {
    const char* const hostile[] = {"..\\report.pdf.001",
                                   "C:report.pdf.001",
                                   "report.pdf.001:s",
                                   "report.pdf.0001",
                                   "NUL",
                                   "\xC3\x28\xFF",
                                   "",
                                   "report.pdf.99999999999"};
    const std::string seeds[] = {
        kA + "  report.pdf.001\n" + kB + " *report.pdf.002\n" + kC + "  report.pdf\n",
        "\xEF\xBB\xBF# c\r\n" + kB + "  report.pdf.003\r\n\\" + kA + "  REPORT.PDF.001\r\n",
    };
    std::minstd_rand random(20261210);
    const auto make = [&] {
        std::string text = seeds[random() % 2];
        if (random() % 3 == 0)
            text.replace(text.find("report.pdf.00"), 14, hostile[random() % 8]);
        return text;
    };
    const int taken = ops_tests::FuzzSideFile(
        random, 6000, make, 0, std::string("\0\r \t\\*#", 7), "0",
        [](const char* text, size_t size) {
            ChecksumList list;
            const bool took = list.Parse(text, size, L"report.pdf");
            ops_tests::ExpectPartsRising(list.Parts());
            EXPECT_EQ(took, list.Problem() == ListProblem::None);
            EXPECT_TRUE(took || (list.Parts().Count() == 0 && !list.HasWhole()));
            return took;
        });
    // The damage leaves some lists good, or the test would check only refusals.
    EXPECT_GT(taken, 100);
}

// The forms GNU sha256sum writes and reads: text and binary marks, CR LF and a byte-order mark
// from an editor on Windows, comments, escaped names, any case of hex digits and of the name, parts
// in any order, and the whole file alone.
TEST(ChecksumList, WhatSha256sumWritesIsTaken) {
    std::string upper = kC;
    for (char& ch : upper)
        ch = static_cast<char>(toupper(ch));
    const std::string text = "# parts of report.pdf\n" + kB + " *report.pdf.002\r\n" + kA +
                             "  REPORT.PDF.001\n" + "\\" + kC + "  report.pdf.1000\n" + upper +
                             "  report.pdf";
    ChecksumList list;
    ASSERT_TRUE(list.Parse(text.data(), text.size(), L"report.pdf"));
    ASSERT_EQ(list.Parts().Count(), 3);
    EXPECT_EQ(list.Parts()[0].part, 1u);
    EXPECT_EQ(DigestHex(list.Parts()[0].digest), kA);
    EXPECT_EQ(list.Parts()[1].part, 2u);
    EXPECT_EQ(DigestHex(list.Parts()[1].digest), kB);
    EXPECT_EQ(list.Parts()[2].part, 1000u);
    for (const uint32_t number : {0u, 1u, 2u, 3u, 999u, 1000u, 1001u})
        EXPECT_EQ(list.Names(number), number == 1 || number == 2 || number == 1000) << number;
    ASSERT_TRUE(list.HasWhole());
    EXPECT_EQ(DigestHex(list.Whole()), kC);

    const std::string wholeOnly = kA + "  report.pdf\n";
    ASSERT_TRUE(list.Parse(wholeOnly.data(), wholeOnly.size(), L"report.pdf"));
    EXPECT_EQ(list.Parts().Count(), 0);
    EXPECT_TRUE(list.HasWhole());

    // Saved again by a Windows editor, with the UTF-8 byte-order mark in front.
    const std::string marked = "\xEF\xBB\xBF" + kA + "  report.pdf.001\r\n";
    ASSERT_TRUE(list.Parse(marked.data(), marked.size(), L"report.pdf"));
    ASSERT_EQ(list.Parts().Count(), 1);
    EXPECT_EQ(DigestHex(list.Parts()[0].digest), kA);

    // Names beyond ASCII come in UTF-8.
    const std::string accented = kA + "  r\xc3\xa9sum\xc3\xa9 \xe2\x82\xac.txt.001\n";
    ASSERT_TRUE(list.Parse(accented.data(), accented.size(), L"r\u00e9sum\u00e9 \u20ac.txt"));
    EXPECT_EQ(list.Parts().Count(), 1);
}

TEST(ChecksumList, LinesAreWrittenTheWaySha256sumReadsThem) {
    DynArray<char> text;
    Sha256Digest digest{};
    digest.bytes[0] = 0xab;
    digest.bytes[31] = 0x01;
    ASSERT_TRUE(AppendChecksumLine(text, digest, L"report.pdf.001"));
    ASSERT_TRUE(AppendChecksumLine(text, digest, L"\u00e9t\u00e9.bin"));
    const std::string written(text.Items(), static_cast<size_t>(text.Count()));
    const std::string hex = "ab" + std::string(60, '0') + "01";
    EXPECT_EQ(written, hex + "  report.pdf.001\n" + hex + "  \xc3\xa9t\xc3\xa9.bin\n");

    // And read back: the second line is the whole file of that name.
    const std::string second = written.substr(written.find('\n') + 1);
    ChecksumList list;
    ASSERT_TRUE(list.Parse(second.data(), second.size(), L"\u00e9t\u00e9.bin"))
        << static_cast<int>(list.Problem());
    EXPECT_TRUE(list.HasWhole());
    EXPECT_TRUE(list.Whole() == digest);
}

TEST(ChecksumList, PartNames) {
    EXPECT_EQ(PartNumberOf(L"a.b.001", L"a.b"), 1u);
    EXPECT_EQ(PartNumberOf(L"A.B.999", L"a.b"), 999u);
    EXPECT_EQ(PartNumberOf(L"a.b.1000", L"a.b"), 1000u);
    EXPECT_EQ(PartNumberOf(L"a.b.4294967295", L"a.b"), 4294967295u);
    EXPECT_EQ(PartNumberOf(L"a.b.01", L"a.b"), 0u);
    EXPECT_EQ(PartNumberOf(L"a.b.0999", L"a.b"), 0u);
    EXPECT_EQ(PartNumberOf(L"a.b", L"a.b"), 0u);
    EXPECT_EQ(PartNumberOf(L"a.bc001", L"a.b"), 0u);
    EXPECT_EQ(PartNumberOf(L"xa.b.001", L"a.b"), 0u);
}

// The size the split counts on is that of the list it writes, lines of four-, five- and
// six-digit parts and a name beyond ASCII included; and a join reads every such list.
TEST(ChecksumList, TheSizeOfAListIsWhatTheSplitWrites) {
    const std::wstring name = L"r\u00e9sum\u00e9 \u6587.bin";
    const int nameBytes =
        ::WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr) - 1;
    const Sha256Digest digest{};
    for (uint32_t count : {0u, 1u, 999u, 1000u, 100000u}) {
        SCOPED_TRACE(count);
        DynArray<char> text;
        for (uint32_t part = 1; part <= count; ++part) {
            wchar_t partName[64];
            swprintf(partName, 64, L"%ls.%03u", name.c_str(), part);
            ASSERT_TRUE(AppendChecksumLine(text, digest, partName));
        }
        ASSERT_TRUE(AppendChecksumLine(text, digest, name.c_str()));
        const uint64_t written = static_cast<uint64_t>(text.Count());
        EXPECT_EQ(written, ChecksumListSize(count, static_cast<uint64_t>(nameBytes)));
        EXPECT_LE(written, kChecksumListLimit);
    }
}

} // namespace
