#include <gtest/gtest.h>

#include "app/Globals.h"
#include "app/ProgramInfo.h"
#include "app/Settings.h"
#include "support/SettingsValues.h"

#include <vector>

namespace {

// The settings key is the program's own under the current user; each test starts without it.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override { testing_support::ClearSettingsKey(); }
    void TearDown() override {
        settings.Close();
        testing_support::ClearSettingsKey();
    }

    // Writes a value behind the program's back, as a user with regedit would.
    static void Put(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
        testing_support::WriteSetting(name, type, data.data(), static_cast<DWORD>(data.size()));
    }
    static void PutDword(const wchar_t* name, uint32_t value) {
        testing_support::WriteDword(name, value);
    }
    static void PutString(const wchar_t* name, const wchar_t* text) {
        testing_support::WriteSetting(name, REG_SZ, text,
                                      static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }
    // The raw bytes and type of a value.
    static bool Get(const wchar_t* name, DWORD& type, std::vector<BYTE>& data) {
        data = testing_support::ReadValue(name, &type);
        return testing_support::ValueExists(name);
    }

    Settings settings;
};

} // namespace

TEST_F(SettingsTest, FirstOpenCreatesTheKeyAndEverythingReadsItsDefault) {
    ASSERT_TRUE(settings.Open());
    EXPECT_TRUE(settings.IsOpen());
    HKEY key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Brindlecot", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD values = 99;
    EXPECT_EQ(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                 nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 0u); // nothing is written until asked
    ::RegCloseKey(key);

    EXPECT_EQ(settings.ReadSelectFiles(), 0u);
    EXPECT_EQ(settings.ReadOpenFile(), 0u);
    EXPECT_EQ(settings.ReadDeleteFiles(), 0u);
    EXPECT_EQ(settings.ReadFlashWindow(), 0u);
    EXPECT_EQ(settings.ReadCloseWindow(), 0u);
    EXPECT_EQ(settings.ReadWriteChecksums(), 1u); // the one switch that is on by default
    EXPECT_EQ(settings.ReadBufferSize(), 1048576u);
    EXPECT_EQ(settings.ReadIoPairCount(), 1);
    EXPECT_EQ(settings.ReadPartSize(), 0u);
    EXPECT_EQ(settings.LastStatus(), ERROR_FILE_NOT_FOUND);

    // The key is opened for reading and writing: the second open finds it.
    Settings again;
    EXPECT_TRUE(again.Open());
    EXPECT_TRUE(again.Close());
}

TEST_F(SettingsTest, SwitchesAreWrittenAsDwordsAndReadAfreshEachTime) {
    ASSERT_TRUE(settings.Open());
    EXPECT_TRUE(settings.WriteSelectFiles(1));
    EXPECT_TRUE(settings.WriteOpenFile(1));
    EXPECT_TRUE(settings.WriteDeleteFiles(0));
    EXPECT_TRUE(settings.WriteFlashWindow(1));
    EXPECT_TRUE(settings.WriteCloseWindow(7));
    EXPECT_EQ(settings.LastStatus(), ERROR_SUCCESS);
    EXPECT_EQ(settings.ReadSelectFiles(), 1u);
    EXPECT_EQ(settings.ReadOpenFile(), 1u);
    EXPECT_EQ(settings.ReadDeleteFiles(), 0u);
    EXPECT_EQ(settings.ReadFlashWindow(), 1u);
    EXPECT_EQ(settings.ReadCloseWindow(), 7u);

    DWORD type;
    std::vector<BYTE> data;
    ASSERT_TRUE(Get(L"CloseWindow", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, (std::vector<BYTE>{7, 0, 0, 0}));
    ASSERT_TRUE(Get(L"DeleteFiles", type, data));
    EXPECT_EQ(data, (std::vector<BYTE>{0, 0, 0, 0}));

    // A change by hand shows at the next read: nothing is cached.
    PutDword(L"SelectFiles", 0);
    EXPECT_EQ(settings.ReadSelectFiles(), 0u);
    PutDword(L"OpenFile", 0x80000000u);
    EXPECT_EQ(settings.ReadOpenFile(), 0x80000000u);

    // Checksums: off is 0, stored like the others; gone again, it reads on.
    EXPECT_TRUE(settings.WriteWriteChecksums(0));
    EXPECT_EQ(settings.ReadWriteChecksums(), 0u);
    ASSERT_TRUE(Get(L"WriteChecksums", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, (std::vector<BYTE>{0, 0, 0, 0}));
    PutDword(L"WriteChecksums", 2);
    EXPECT_EQ(settings.ReadWriteChecksums(), 2u);
    EXPECT_EQ(settings.DeleteValue(L"WriteChecksums"), TRUE);
    EXPECT_EQ(settings.ReadWriteChecksums(), 1u);
}

TEST_F(SettingsTest, ValuesOfOtherTypesAndSizes) {
    ASSERT_TRUE(settings.Open());
    // The digit zero as a string is the bytes '0', 0, 0, 0: non-zero, so the switch is on.
    PutString(L"DeleteFiles", L"0");
    EXPECT_EQ(settings.ReadDeleteFiles(), 0x30u);
    // Longer than 4 bytes: the default.
    PutString(L"FlashWindow", L"1");
    EXPECT_EQ(settings.ReadFlashWindow(), 0x31u);
    PutString(L"FlashWindow", L"10");
    EXPECT_EQ(settings.ReadFlashWindow(), 0u);
    EXPECT_EQ(settings.LastStatus(), ERROR_MORE_DATA);
    Put(L"CloseWindow", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(settings.ReadCloseWindow(), 0u);

    // Shorter values read as their own bytes, the rest zero.
    Put(L"SelectFiles", REG_BINARY, {0x34, 0x12});
    EXPECT_EQ(settings.ReadSelectFiles(), 0x1234u);
    Put(L"OpenFile", REG_BINARY, {});
    EXPECT_EQ(settings.ReadOpenFile(), 0u);
    Put(L"BufferSize", REG_BINARY, {0x00, 0x00, 0x04});
    EXPECT_EQ(settings.ReadBufferSize(), 262144u);
    Put(L"IoPairCount", REG_BINARY, {0x03});
    EXPECT_EQ(settings.ReadIoPairCount(), 3);
    Put(L"PartSize", REG_DWORD, {0xEF, 0xCD, 0xAB, 0x89});
    EXPECT_EQ(settings.ReadPartSize(), 0x89ABCDEFull);
    Put(L"PartSize", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(settings.ReadPartSize(), 0u);
}

// The folder offered by the picker: a path as stored, and nothing where the value is empty or
// longer than any path.
TEST_F(SettingsTest, LastFolderIsAPathOfAtMostTheLongestLength) {
    ASSERT_TRUE(settings.Open());
    WideString folder;
    EXPECT_FALSE(settings.ReadLastFolder(folder));
    ASSERT_TRUE(settings.WriteLastFolder(L"D:\\to"));
    ASSERT_TRUE(settings.ReadLastFolder(folder));
    EXPECT_STREQ(folder.Text(), L"D:\\to");
    const std::wstring longest(32767, L'x');
    for (const std::wstring& value : {std::wstring(), longest + L"x", longest}) {
        PutString(L"LastFolder", value.c_str());
        EXPECT_EQ(settings.ReadLastFolder(folder) && folder.Text() == value, value == longest)
            << value.size();
    }
}

TEST_F(SettingsTest, BufferSizeIsAPowerOfTwoWithinTheLimits) {
    ASSERT_TRUE(settings.Open());
    for (uint32_t bad : {0u, 1u, 65536u, 131071u, 3000000u, 393216u, 16777217u, 33554432u,
                         0x80000000u, 0xFFFFFFFFu}) {
        PutDword(L"BufferSize", bad);
        EXPECT_EQ(settings.ReadBufferSize(), 1048576u) << bad;
    }
    for (uint32_t good :
         {131072u, 262144u, 524288u, 1048576u, 2097152u, 4194304u, 8388608u, 16777216u}) {
        PutDword(L"BufferSize", good);
        EXPECT_EQ(settings.ReadBufferSize(), good);
    }
    // Eight bytes do not fit the four asked for.
    Put(L"BufferSize", REG_BINARY, {0, 0, 2, 0, 0, 0, 0, 0});
    EXPECT_EQ(settings.ReadBufferSize(), 1048576u);
}

TEST_F(SettingsTest, IoPairCountFromOneToSixteen) {
    ASSERT_TRUE(settings.Open());
    for (uint32_t bad : {0u, 17u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        PutDword(L"IoPairCount", bad);
        EXPECT_EQ(settings.ReadIoPairCount(), 1) << bad;
    }
    for (uint32_t good : {1u, 2u, 9u, 16u}) {
        PutDword(L"IoPairCount", good);
        EXPECT_EQ(settings.ReadIoPairCount(), static_cast<int32_t>(good));
    }
}

TEST_F(SettingsTest, PartSizeIsEightBinaryBytesLowOrderFirst) {
    ASSERT_TRUE(settings.Open());
    ASSERT_TRUE(settings.WritePartSize(0x0123456789ABCDEFull));
    DWORD type;
    std::vector<BYTE> data;
    ASSERT_TRUE(Get(L"PartSize", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, (std::vector<BYTE>{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}));
    EXPECT_EQ(settings.ReadPartSize(), 0x0123456789ABCDEFull);

    ASSERT_TRUE(settings.WritePartSize(3145728));
    EXPECT_EQ(settings.ReadPartSize(), 3145728u);
    ASSERT_TRUE(settings.WritePartSize(0xFFFFFFFFFFFFFFFFull));
    EXPECT_EQ(settings.ReadPartSize(), 0xFFFFFFFFFFFFFFFFull);
}

TEST_F(SettingsTest, AClosedKeyReadsDefaultsAndRefusesWrites) {
    // Values that would read otherwise, were the key open.
    PutDword(L"SelectFiles", 1);
    PutDword(L"CloseWindow", 1);
    PutDword(L"BufferSize", 262144);
    PutDword(L"IoPairCount", 4);
    Put(L"PartSize", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});

    auto expectClosed = [](Settings& s) {
        EXPECT_FALSE(s.IsOpen());
        EXPECT_EQ(s.ReadSelectFiles(), 0u);
        EXPECT_NE(s.LastStatus(), ERROR_SUCCESS);
        EXPECT_EQ(s.ReadCloseWindow(), 0u);
        EXPECT_EQ(s.ReadBufferSize(), 1048576u);
        EXPECT_EQ(s.ReadIoPairCount(), 1);
        EXPECT_EQ(s.ReadPartSize(), 0u);
        EXPECT_FALSE(s.WriteOpenFile(1));
        EXPECT_NE(s.LastStatus(), ERROR_SUCCESS);
        EXPECT_FALSE(s.WritePartSize(5));
        EXPECT_NE(s.LastStatus(), ERROR_SUCCESS);
    };
    expectClosed(settings);

    ASSERT_TRUE(settings.Open());
    EXPECT_EQ(settings.ReadSelectFiles(), 1u);
    EXPECT_EQ(settings.ReadBufferSize(), 262144u);
    EXPECT_EQ(settings.ReadIoPairCount(), 4);
    EXPECT_EQ(settings.ReadPartSize(), 1u);
    EXPECT_TRUE(settings.Close());
    EXPECT_EQ(settings.LastStatus(), ERROR_SUCCESS);
    expectClosed(settings);

    // Closing what is closed succeeds.
    EXPECT_TRUE(settings.Close());
    EXPECT_EQ(settings.LastStatus(), ERROR_SUCCESS);

    // Nothing the closed object was asked to write reached the registry.
    DWORD type;
    std::vector<BYTE> data;
    EXPECT_FALSE(Get(L"OpenFile", type, data));
    ASSERT_TRUE(Get(L"PartSize", type, data));
    EXPECT_EQ(data[0], 1);
}

TEST_F(SettingsTest, TheProcessWideObjectStartsClosed) {
    EXPECT_FALSE(gSettings.IsOpen());
    EXPECT_EQ(gSettings.LastStatus(), ERROR_SUCCESS);
}
