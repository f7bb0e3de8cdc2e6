#include "OpsTestSupport.h"
#include "ops/WholeCrcList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What file managers write, and what editors make of it: any order and case, CR LF or LF, a
// byte-order mark, a blank line; and files made to hurt, each refused whole.
TEST(WholeCrcList, TakenOrRefusedWhole) {
    struct Case {
        const char* what;
        std::string text;
        ListProblem problem;
        uint64_t size;
    };
    const std::string good = "filename=x.bin\r\nsize=3\r\ncrc32=352441C2\r\n";
    const std::string tail = "\nsize=3\ncrc32=352441C2\n";
    const Case cases[] = {
        {"as written", good, ListProblem::None, 3},
        {"LF, any order and case", "crc32=352441c2\nsize=3\nfilename=X.BIN", ListProblem::None, 3},
        {"largest size, mark, upper keys, blank line",
         "\xEF\xBB\xBF"
         "FILENAME=x.bin\n\nSIZE=9223372036854775807\nCRC32=352441C2",
         ListProblem::None, 9223372036854775807ull},
        {"empty", "", ListProblem::Nothing, 0},
        {"NUL", good + std::string("\0", 1), ListProblem::NulByte, 0},
        {"no crc32", "filename=x.bin\nsize=3\n", ListProblem::BadLine, 0},
        {"another file", "filename=y.bin" + tail, ListProblem::OutsideName, 0},
        {"a part", "filename=x.bin.001" + tail, ListProblem::OutsideName, 0},
        {"a folder", "filename=..\\x.bin" + tail, ListProblem::OutsideName, 0},
        {"a device", "filename=CON" + tail, ListProblem::OutsideName, 0},
        {"a huge name", "filename=" + std::string(100000, 'x') + tail, ListProblem::OutsideName, 0},
        {"bad UTF-8", "filename=x.bin\xff" + tail, ListProblem::BadLine, 0},
        {"size twice", good + "size=3\n", ListProblem::Twice, 0},
        {"negative size", "filename=x.bin\nsize=-3\ncrc32=352441C2\n", ListProblem::BadLine, 0},
        {"size past 63 bits", "filename=x.bin\nsize=99999999999999999999\ncrc32=352441C2\n",
         ListProblem::BadLine, 0},
        {"short crc", "filename=x.bin\nsize=3\ncrc32=352441C\n", ListProblem::BadLine, 0},
        {"unknown key", good + "md5=00\n", ListProblem::BadLine, 0},
        {"blanks around the sign", "filename = x.bin" + tail, ListProblem::BadLine, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WholeCrcList crc;
        EXPECT_EQ(crc.Parse(c.text.data(), c.text.size(), L"x.bin"),
                  c.problem == ListProblem::None);
        EXPECT_EQ(crc.Problem(), c.problem);
        WideString said;
        crc.DescribeProblem(said);
        EXPECT_EQ(said.Length() == 0, c.problem == ListProblem::None);
        if (c.problem == ListProblem::None) {
            EXPECT_EQ(crc.Size(), c.size);
            EXPECT_EQ(crc.Crc(), 0x352441C2u);
        }
    }
}

// Random damage, lying sizes and hostile names: taken whole or refused whole, never a crash nor a
// read past the text.
TEST(WholeCrcList, FuzzedFilesAreTakenOrRefusedWhole) {
    const char* const names[] = {"..\\x.bin", "x.bin:s", "NUL.bin", "x.bin.",
                                 "\xC3\x28",  "",        "X.BIN",   "x.bin"};
    const char* const sizes[] = {"0",  "3",   "9223372036854775807", "18446744073709551616",
                                 "-1", "0x10"};
    std::minstd_rand random(91);
    const auto make = [&] {
        return std::string("filename=") + names[random() % 8] + "\nsize=" + sizes[random() % 6] +
               "\ncrc32=352441C2\n";
    };
    const int taken =
        ops_tests::FuzzSideFile(random, 5000, make, 0, std::string("\0\r=\nx", 5),
                                "x9=", [](const char* text, size_t size) {
                                    WholeCrcList crc;
                                    const bool took = crc.Parse(text, size, L"x.bin");
                                    EXPECT_EQ(took, crc.Problem() == ListProblem::None);
                                    return took;
                                });
    EXPECT_GT(taken, 50);
}

} // namespace
