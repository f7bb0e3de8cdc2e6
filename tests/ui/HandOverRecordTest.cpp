#include "ui/HandOverRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

WideString Wide(const std::wstring& text) {
    WideString wide;
    wide.Assign(text.c_str(), static_cast<uint32_t>(text.size()));
    return wide;
}

std::vector<uint8_t> BytesOf(const HandOverRecord& record) {
    const COPYDATASTRUCT message = record.Message();
    const auto* data = static_cast<const uint8_t*>(message.lpData);
    return std::vector<uint8_t>(data, data + message.cbData);
}

bool ReadBytes(std::vector<uint8_t> bytes, ULONG_PTR tag = HandOverRecord::kTag) {
    HandOverRecord record;
    COPYDATASTRUCT message{tag, static_cast<DWORD>(bytes.size()), bytes.data()};
    return record.Read(message);
}

void PutLength(std::vector<uint8_t>& bytes, uint32_t units) {
    for (int i = 0; i < 4; ++i)
        bytes[8 + i] = static_cast<uint8_t>(units >> (8 * i));
}

} // namespace

TEST(HandOverRecord, ASplitAndAJoinGoThroughWhole) {
    for (const RunMode mode : {RunMode::Split, RunMode::Join}) {
        const std::wstring path = L"C:\\films\\trip \x00e9t\x00e9.avi";
        HandOverRecord sent;
        ASSERT_TRUE(sent.Make(mode, Wide(path)));
        const std::vector<uint8_t> bytes = BytesOf(sent);
        // The layout is fixed, whatever the side of the sender.
        ASSERT_EQ(bytes.size(), 12 + 2 * path.size());
        EXPECT_EQ(std::memcmp(bytes.data(), "BCHO\x01\x00", 6), 0);
        EXPECT_EQ(bytes[6], static_cast<uint8_t>(mode));

        HandOverRecord received;
        ASSERT_TRUE(received.Read(sent.Message()));
        EXPECT_EQ(received.Mode(), mode);
        EXPECT_EQ(std::wstring(received.Path().Text()), path);
    }
}

TEST(HandOverRecord, OnlyASplitOrJoinOfAPathWithinBoundsIsMade) {
    HandOverRecord record;
    EXPECT_FALSE(record.Make(RunMode::Setup, Wide(L"C:\\a")));
    EXPECT_FALSE(record.Make(RunMode::Split, Wide(L"")));
    EXPECT_FALSE(record.Make(RunMode::Split, Wide(std::wstring(32768, L'a'))));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(record.Make(RunMode::Split, Wide(std::wstring(32767, L'a'))));
}

// Whatever arrives is another program's: each malformed record is refused as a whole.
TEST(HandOverRecord, AMalformedRecordIsRefused) {
    HandOverRecord good;
    ASSERT_TRUE(good.Make(RunMode::Join, Wide(L"C:\\x.bin.001")));
    const std::vector<uint8_t> whole = BytesOf(good);
    ASSERT_TRUE(ReadBytes(whole));

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> change;
    };
    const Case cases[] = {
        {"empty", [](std::vector<uint8_t>& b) { b.clear(); }},
        {"header cut short", [](std::vector<uint8_t>& b) { b.resize(11); }},
        {"path cut short", [](std::vector<uint8_t>& b) { b.pop_back(); }},
        {"odd byte more", [](std::vector<uint8_t>& b) { b.push_back(0x41); }},
        {"unit more",
         [](std::vector<uint8_t>& b) {
             b.insert(b.end(), {0x41, 0});
         }},
        {"wrong tag", [](std::vector<uint8_t>& b) { b[0] ^= 1; }},
        {"version 0", [](std::vector<uint8_t>& b) { b[4] = 0; }},
        {"version 2", [](std::vector<uint8_t>& b) { b[4] = 2; }},
        {"version high byte", [](std::vector<uint8_t>& b) { b[5] = 1; }},
        {"setup mode", [](std::vector<uint8_t>& b) { b[6] = 0; }},
        {"mode 3", [](std::vector<uint8_t>& b) { b[6] = 3; }},
        {"mode high byte", [](std::vector<uint8_t>& b) { b[7] = 1; }},
        {"length 0", [](std::vector<uint8_t>& b) { PutLength(b, 0); }},
        {"length past the end", [](std::vector<uint8_t>& b) { PutLength(b, 13); }},
        {"length short of the end", [](std::vector<uint8_t>& b) { PutLength(b, 11); }},
        {"length that wraps", [](std::vector<uint8_t>& b) { PutLength(b, 0x80000006u); }},
        {"length past the longest path",
         [](std::vector<uint8_t>& b) {
             b.resize(12 + 2 * 32768, 0x41);
             PutLength(b, 32768);
         }},
        {"terminator inside", [](std::vector<uint8_t>& b) { b[16] = b[17] = 0; }},
        {"terminator last", [](std::vector<uint8_t>& b) { b[b.size() - 2] = b.back() = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = whole;
        c.change(bytes);
        EXPECT_FALSE(ReadBytes(bytes));
    }
    // The message's own tag must say what it carries.
    EXPECT_FALSE(ReadBytes(whole, 0));
    HandOverRecord record;
    COPYDATASTRUCT noData{HandOverRecord::kTag, static_cast<DWORD>(whole.size()), nullptr};
    EXPECT_FALSE(record.Read(noData));
}

// Every record of random bytes and every cut of a good one: refused, or taken whole.
TEST(HandOverRecord, RandomBytesNeverGiveAPathOfAnotherLength) {
    HandOverRecord good;
    ASSERT_TRUE(good.Make(RunMode::Split, Wide(L"D:\\a\\b.iso")));
    const std::vector<uint8_t> whole = BytesOf(good);
    for (size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_FALSE(ReadBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + cut))) << cut;
    uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = whole;
        for (int flips = 0; flips < 3; ++flips) {
            seed = seed * 1103515245u + 12345u;
            bytes[(seed >> 8) % bytes.size()] = static_cast<uint8_t>(seed >> 20);
        }
        HandOverRecord record;
        COPYDATASTRUCT message{HandOverRecord::kTag, static_cast<DWORD>(bytes.size()),
                               bytes.data()};
        if (record.Read(message)) {
            EXPECT_EQ(12 + 2 * record.Path().Length(), bytes.size());
        }
    }
}
