#include <gtest/gtest.h>

#include "toolkit/RegKey.h"

#include <string>

namespace {

constexpr wchar_t kScratch[] = L"Software\\BrindlecotTest";

// Every test works below a scratch key of the current user, removed again afterwards.
class RegKeyTest : public testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &scratch, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        ::RegCloseKey(scratch);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    }

    static std::wstring Sub(const std::wstring& name) {
        return std::wstring(kScratch) + L"\\" + name;
    }

    bool KeyExists(const std::wstring& name) {
        HKEY key;
        if (::RegOpenKeyExW(scratch, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }

    void MakeKey(const std::wstring& name) {
        HKEY key;
        ASSERT_EQ(::RegCreateKeyExW(scratch, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS)
            << name.size();
        DWORD one = 1;
        ::RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4);
        ::RegCloseKey(key);
    }

    static bool HandleIsOpen(HKEY key) {
        DWORD count;
        return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    HKEY scratch = nullptr;
};

} // namespace

TEST_F(RegKeyTest, CloseWithoutKeySucceedsAndClearsTheStatus) {
    RegKey key;
    EXPECT_EQ(key.LastStatus(), ERROR_SUCCESS);
    EXPECT_FALSE(key.Open(Sub(L"missing").c_str(), HKEY_CURRENT_USER, KEY_READ));
    EXPECT_EQ(key.LastStatus(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(key.LastStatus(), ERROR_SUCCESS);
}

TEST_F(RegKeyTest, OpenClosesTheHeldKeyAlsoWhenTheNewOpenFails) {
    MakeKey(L"a");
    RegKey key;
    ASSERT_TRUE(key.Open(Sub(L"a").c_str(), HKEY_CURRENT_USER, KEY_READ));
    HKEY first = key.Handle();
    ASSERT_TRUE(HandleIsOpen(first));

    EXPECT_FALSE(key.Open(Sub(L"missing").c_str(), HKEY_CURRENT_USER, KEY_READ));
    EXPECT_EQ(key.LastStatus(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.Handle(), nullptr);
    EXPECT_FALSE(HandleIsOpen(first));

    ASSERT_TRUE(key.Open(Sub(L"a").c_str(), HKEY_CURRENT_USER, KEY_READ));
    HKEY second = key.Handle();
    ASSERT_TRUE(key.Create(Sub(L"b\\c").c_str(), HKEY_CURRENT_USER, KEY_WRITE));
    EXPECT_FALSE(HandleIsOpen(second));
    EXPECT_TRUE(KeyExists(L"b\\c"));
    HKEY created = key.Handle();
    EXPECT_TRUE(key.Close());
    EXPECT_FALSE(HandleIsOpen(created));
}

TEST_F(RegKeyTest, DestructorClosesWhatItOpened) {
    MakeKey(L"a");
    HKEY handle;
    {
        RegKey key;
        ASSERT_TRUE(key.Open(L"a", scratch, KEY_READ));
        handle = key.Handle();
        ASSERT_TRUE(HandleIsOpen(handle));
    }
    EXPECT_FALSE(HandleIsOpen(handle));
}

TEST_F(RegKeyTest, SetStringStoresTheTerminator) {
    RegKey key;
    ASSERT_TRUE(key.Open(kScratch, HKEY_CURRENT_USER, KEY_READ | KEY_WRITE));
    ASSERT_TRUE(key.SetString(L"empty", L""));
    ASSERT_TRUE(key.SetString(nullptr, L"ab"));

    DWORD type = 0, size = 0;
    ASSERT_EQ(::RegQueryValueExW(scratch, L"empty", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 2u);
    wchar_t text[8];
    size = sizeof text;
    ASSERT_EQ(
        ::RegQueryValueExW(scratch, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(text, L"ab");
}

TEST_F(RegKeyTest, SetAndQueryValues) {
    RegKey key;
    ASSERT_TRUE(key.Open(kScratch, HKEY_CURRENT_USER, KEY_READ | KEY_WRITE));
    ASSERT_TRUE(key.SetString(L"s", L"hello world"));
    const BYTE raw[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(key.SetBinary(L"b", raw, sizeof raw));
    ASSERT_TRUE(key.SetDword(L"d", 0x04030201));
    DWORD dword = 0, dwordSize = sizeof dword;
    EXPECT_TRUE(key.QueryValue(L"d", &dword, &dwordSize) && dword == 0x04030201u);

    BYTE back[8] = {};
    DWORD size = sizeof back;
    ASSERT_TRUE(key.QueryValue(L"b", back, &size));
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(memcmp(back, raw, 5), 0);
    size = 4;
    EXPECT_FALSE(key.QueryValue(L"b", back, &size));
    EXPECT_EQ(key.LastStatus(), ERROR_MORE_DATA);

    wchar_t text[16];
    EXPECT_TRUE(key.QueryString(L"s", text, 16));
    EXPECT_EQ(key.LastStatus(), ERROR_SUCCESS);
    EXPECT_STREQ(text, L"hello world");
    // Exactly the room for the text and its terminator.
    EXPECT_TRUE(key.QueryString(L"s", text, 12));
    EXPECT_STREQ(text, L"hello world");

    EXPECT_FALSE(key.QueryString(L"s", text, 11));
    EXPECT_EQ(key.LastStatus(), ERROR_MORE_DATA);
    EXPECT_FALSE(key.QueryString(L"missing", text, 16));
    EXPECT_EQ(key.LastStatus(), ERROR_FILE_NOT_FOUND);

    // A text stored without a terminator gets one when there is room, and fails when not.
    const wchar_t bare[] = {L'a', L'b', L'c'};
    ASSERT_TRUE(key.SetBinary(L"bare", bare, sizeof bare));
    wmemset(text, L'#', 16);
    EXPECT_TRUE(key.QueryString(L"bare", text, 4));
    EXPECT_STREQ(text, L"abc");
    EXPECT_FALSE(key.QueryString(L"bare", text, 3));
    EXPECT_EQ(key.LastStatus(), ERROR_MORE_DATA);
}

TEST_F(RegKeyTest, ValuesAndSubkeysAreCountedEnumeratedAndDeleted) {
    MakeKey(L"k1");
    MakeKey(L"k2");
    RegKey key;
    ASSERT_TRUE(key.Open(kScratch, HKEY_CURRENT_USER, KEY_READ | KEY_WRITE));
    ASSERT_TRUE(key.SetString(L"x", L"1"));
    ASSERT_TRUE(key.SetString(L"y", L"2"));
    EXPECT_EQ(key.SubKeyCount(), 2u);
    EXPECT_EQ(key.LastStatus(), ERROR_SUCCESS);
    EXPECT_EQ(key.ValueCount(), 2u);

    wchar_t name[64];
    DWORD length = 64;
    FILETIME written;
    ASSERT_TRUE(key.EnumKey(0, name, &length, &written));
    EXPECT_EQ(length, 2u);
    length = 64;
    EXPECT_FALSE(key.EnumKey(2, name, &length, &written));
    EXPECT_EQ(key.LastStatus(), ERROR_NO_MORE_ITEMS);

    DWORD type = 0, dataSize = 16;
    BYTE data[16];
    length = 64;
    ASSERT_TRUE(key.EnumValue(0, name, &length, &type, data, &dataSize));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(dataSize, 4u);

    EXPECT_TRUE(key.ValueExists(L"x"));
    EXPECT_TRUE(key.DeleteValue(L"x"));
    EXPECT_FALSE(key.ValueExists(L"x"));
    EXPECT_EQ(key.LastStatus(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key.DeleteValue(L"x"));
    EXPECT_EQ(key.LastStatus(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.ValueCount(), 1u);

    // Without a key the counts fail and say so.
    RegKey none;
    none.SubKeyCount();
    EXPECT_NE(none.LastStatus(), ERROR_SUCCESS);
}

TEST_F(RegKeyTest, DeleteTreeRemovesNestedKeys) {
    MakeKey(L"tree\\a\\b\\c");
    MakeKey(L"tree\\a\\b2");
    MakeKey(L"tree\\d");
    MakeKey(L"tree\\e\\f");
    MakeKey(L"keep");
    RegKey key;
    ASSERT_TRUE(key.Open(kScratch, HKEY_CURRENT_USER, KEY_READ | KEY_WRITE));
    EXPECT_TRUE(key.DeleteTree(L"tree"));
    EXPECT_EQ(key.LastStatus(), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(L"tree"));
    EXPECT_TRUE(KeyExists(L"keep"));

    EXPECT_FALSE(key.DeleteTree(L"tree"));
    EXPECT_EQ(key.LastStatus(), ERROR_FILE_NOT_FOUND);

    // A key without subkeys goes at the first attempt.
    EXPECT_TRUE(key.DeleteTree(L"keep"));
    EXPECT_FALSE(KeyExists(L"keep"));
}

TEST_F(RegKeyTest, DeleteTreeOnARootKeyThatIsNeverClosed) {
    MakeKey(L"rooted\\x\\y");
    {
        RegKey root(HKEY_CURRENT_USER);
        EXPECT_TRUE(root.IsOpen());
        EXPECT_EQ(root.LastStatus(), ERROR_SUCCESS);
        EXPECT_TRUE(root.DeleteTree(Sub(L"rooted").c_str()));
        EXPECT_FALSE(KeyExists(L"rooted"));
    }
    // The root object only borrows its handle: neither Close nor the destructor closes it.
    HKEY borrowed;
    ASSERT_EQ(::RegOpenKeyExW(scratch, nullptr, 0, KEY_READ, &borrowed), ERROR_SUCCESS);
    {
        RegKey root(borrowed);
        EXPECT_EQ(root.Handle(), borrowed);
    }
    EXPECT_TRUE(HandleIsOpen(borrowed));
    {
        RegKey root(borrowed);
        EXPECT_TRUE(root.Close());
        EXPECT_FALSE(root.IsOpen());
    }
    EXPECT_TRUE(HandleIsOpen(borrowed));
    {
        RegKey root(borrowed);
        EXPECT_FALSE(root.Open(L"missing", scratch, KEY_READ));
    }
    EXPECT_TRUE(HandleIsOpen(borrowed));
    ::RegCloseKey(borrowed);
}

TEST_F(RegKeyTest, AttachIsRefusedWhileAKeyIsHeld) {
    MakeKey(L"a");
    HKEY other;
    ASSERT_EQ(::RegOpenKeyExW(scratch, L"a", 0, KEY_READ, &other), ERROR_SUCCESS);
    {
        RegKey key;
        ASSERT_TRUE(key.Open(L"a", scratch, KEY_READ));
        HKEY held = key.Handle();
        EXPECT_FALSE(key.QueryString(L"missing", nullptr, 0));
        EXPECT_FALSE(key.Attach(other));
        // Nothing recorded, nothing changed.
        EXPECT_EQ(key.LastStatus(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(key.Handle(), held);

        // Detach forgets without closing; then Attach takes the other handle and owns it.
        key.Detach();
        EXPECT_EQ(key.LastStatus(), ERROR_SUCCESS);
        EXPECT_FALSE(key.IsOpen());
        EXPECT_TRUE(HandleIsOpen(held));
        ::RegCloseKey(held);
        EXPECT_TRUE(key.Attach(other));
        EXPECT_EQ(key.Handle(), other);
    }
    EXPECT_FALSE(HandleIsOpen(other));

    RegKey root(HKEY_CURRENT_USER);
    EXPECT_FALSE(root.Attach(scratch));
}

TEST_F(RegKeyTest, ASubkeyNameTooLongForTheBufferStopsDeleteTree) {
    // 255 characters is the longest name the enumeration buffer takes.
    std::wstring longest(255, L'n');
    MakeKey(L"fits\\" + longest + L"\\child");
    RegKey key;
    ASSERT_TRUE(key.Open(kScratch, HKEY_CURRENT_USER, KEY_READ | KEY_WRITE));
    EXPECT_TRUE(key.DeleteTree(L"fits"));
    EXPECT_FALSE(KeyExists(L"fits"));

    std::wstring tooLong(256, L'm');
    HKEY probe;
    if (::RegCreateKeyExW(scratch, (L"stuck\\" + tooLong).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &probe, nullptr) != ERROR_SUCCESS)
        GTEST_SKIP() << "the registry refuses names of 256 characters";
    ::RegCloseKey(probe);
    MakeKey(L"stuck\\sibling");
    EXPECT_FALSE(key.DeleteTree(L"stuck"));
    EXPECT_NE(key.LastStatus(), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(L"stuck"));
    EXPECT_TRUE(KeyExists(L"stuck\\" + tooLong));
}
