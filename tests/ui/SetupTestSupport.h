#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/ClassesKeys.h"

// The verbs' own registry entries and the fixture that clears them around each test.
namespace shell_test {

using namespace testing_support;

// This program's own path and the command lines its verbs must carry.
std::wstring ModulePath();
std::wstring OurCommand(bool split);
std::wstring CheckCommand();
// The types beside a set that carry the check verb.
constexpr const wchar_t* kSideFileTypes[] = {L".sha256", L".par2", L".sfv",
                                             L".md5",    L".sha1", L".crc"};

// Removes everything the verbs and the tests may have put into both hives' classes.
void RemoveTestEntries();

// Every test starts and ends without verbs and without foreign test entries.
class ShellRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveTestEntries(); }
    void TearDown() override { RemoveTestEntries(); }
};

} // namespace shell_test
