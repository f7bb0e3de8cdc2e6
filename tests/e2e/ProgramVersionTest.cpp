#include "EndToEndSupport.h"

#include "res/version.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace e2e {
namespace {

// The version as res/version.h writes it, in the shapes the resources carry it.
std::string HeaderVersionDotted() {
    return std::to_string(BRINDLECOT_VERSION_MAJOR) + "." +
           std::to_string(BRINDLECOT_VERSION_MINOR) + "." +
           std::to_string(BRINDLECOT_VERSION_PATCH) + "." +
           std::to_string(BRINDLECOT_VERSION_BUILD);
}
constexpr DWORD kHeaderVersionHigh = MAKELONG(BRINDLECOT_VERSION_MINOR, BRINDLECOT_VERSION_MAJOR);
constexpr DWORD kHeaderVersionLow = MAKELONG(BRINDLECOT_VERSION_BUILD, BRINDLECOT_VERSION_PATCH);
constexpr wchar_t kHeaderVersionText[] = L"" BRINDLECOT_VERSION_TEXT;

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value)
        return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

// The built program's version resource, read as Explorer's property page reads it.
TEST(ProgramVersion, VersionInfoCarriesTheHeadersVersion) {
    const std::wstring program = ProgramPath();
    DWORD unused = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), &unused);
    ASSERT_NE(size, 0u) << "error " << ::GetLastError();
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, size, block.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, kHeaderVersionHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, kHeaderVersionLow);
    EXPECT_EQ(fixed->dwProductVersionMS, kHeaderVersionHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, kHeaderVersionLow);

    EXPECT_EQ(VersionString(block, L"FileVersion"), kHeaderVersionText);
    EXPECT_EQ(VersionString(block, L"ProductVersion"), kHeaderVersionText);
    EXPECT_EQ(VersionString(block, L"ProductName"), L"Brindlecot");
}

// The manifest is filled in at configure time; its assembly version must follow the header.
TEST(ProgramVersion, ManifestCarriesTheHeadersVersion) {
    HMODULE image = ::LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr) << "error " << ::GetLastError();
    std::string manifest;
    if (HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
        if (HGLOBAL loaded = ::LoadResource(image, found))
            manifest.assign(static_cast<const char*>(::LockResource(loaded)),
                            ::SizeofResource(image, found));
    }
    ::FreeLibrary(image);
    ASSERT_FALSE(manifest.empty());
    const std::string identity =
        "name=\"Brindlecot\" version=\"" + HeaderVersionDotted() + "\" processorArchitecture=";
    EXPECT_NE(manifest.find(identity), std::string::npos) << manifest.substr(0, 300);
}

} // namespace
} // namespace e2e
