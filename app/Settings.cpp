#include "app/Settings.h"

#include "app/ProgramInfo.h"

namespace {

constexpr REGSAM kSettingsAccess = KEY_READ | KEY_WRITE;

constexpr wchar_t kSelectFiles[] = L"SelectFiles";
constexpr wchar_t kOpenFile[] = L"OpenFile";
constexpr wchar_t kDeleteFiles[] = L"DeleteFiles";
constexpr wchar_t kFlashWindow[] = L"FlashWindow";
constexpr wchar_t kCloseWindow[] = L"CloseWindow";
constexpr wchar_t kWriteChecksums[] = L"WriteChecksums";
constexpr wchar_t kWriteJoinScript[] = L"WriteJoinScript";
constexpr wchar_t kRecoveryPercent[] = L"RecoveryPercent";
constexpr wchar_t kBufferSize[] = L"BufferSize";
constexpr wchar_t kIoPairCount[] = L"IoPairCount";
constexpr wchar_t kPartSize[] = L"PartSize";
constexpr wchar_t kPartCount[] = L"PartCount";
constexpr wchar_t kWindowPos[] = L"WindowPos";
constexpr wchar_t kLastFolder[] = L"LastFolder";
// The longest path the system takes, in characters.
constexpr DWORD kLongestPath = 32767;
constexpr DWORD kPlacementSize = 44;
static_assert(sizeof(WINDOWPLACEMENT) == kPlacementSize, "the stored record is 44 bytes");

// Reads size bytes (4 or 8) of a value, whatever its type, as a little-endian number. The bytes
// are zeroed first, so that a shorter value gives a defined number: its own bytes, zero-extended.
// A longer value does not fit and fails. On a closed key the call fails with the handle error.
bool ReadNumber(RegKey& key, const wchar_t* name, DWORD size, uint64_t& number) {
    BYTE bytes[8] = {};
    DWORD got = size;
    number = 0;
    if (!key.QueryValue(name, bytes, &got))
        return false;
    for (DWORD i = size; i-- > 0;)
        number = (number << 8) | bytes[i];
    return true;
}

uint32_t ReadSwitch(RegKey& key, const wchar_t* name, uint32_t missing = 0) {
    uint64_t number;
    return ReadNumber(key, name, 4, number) ? static_cast<uint32_t>(number) : missing;
}

} // namespace

bool Settings::Open() {
    return Create(kSettingsKeyPath, HKEY_CURRENT_USER, kSettingsAccess) != FALSE;
}

bool Settings::Close() {
    return RegKey::Close() != FALSE;
}

uint32_t Settings::ReadSelectFiles() {
    return ReadSwitch(*this, kSelectFiles);
}

uint32_t Settings::ReadOpenFile() {
    return ReadSwitch(*this, kOpenFile);
}

uint32_t Settings::ReadDeleteFiles() {
    return ReadSwitch(*this, kDeleteFiles);
}

uint32_t Settings::ReadFlashWindow() {
    return ReadSwitch(*this, kFlashWindow);
}

uint32_t Settings::ReadCloseWindow() {
    return ReadSwitch(*this, kCloseWindow);
}

uint32_t Settings::ReadWriteChecksums() {
    return ReadSwitch(*this, kWriteChecksums, 1);
}

uint32_t Settings::ReadWriteJoinScript() {
    return ReadSwitch(*this, kWriteJoinScript);
}

uint32_t Settings::ReadRecoveryPercent() {
    return ReadSwitch(*this, kRecoveryPercent);
}

bool Settings::WriteSelectFiles(uint32_t value) {
    return SetDword(kSelectFiles, value) != FALSE;
}

bool Settings::WriteOpenFile(uint32_t value) {
    return SetDword(kOpenFile, value) != FALSE;
}

bool Settings::WriteDeleteFiles(uint32_t value) {
    return SetDword(kDeleteFiles, value) != FALSE;
}

bool Settings::WriteFlashWindow(uint32_t value) {
    return SetDword(kFlashWindow, value) != FALSE;
}

bool Settings::WriteCloseWindow(uint32_t value) {
    return SetDword(kCloseWindow, value) != FALSE;
}

bool Settings::WriteWriteChecksums(uint32_t value) {
    return SetDword(kWriteChecksums, value) != FALSE;
}

bool Settings::WriteWriteJoinScript(uint32_t value) {
    return SetDword(kWriteJoinScript, value) != FALSE;
}

bool Settings::WriteRecoveryPercent(uint32_t percent) {
    return SetDword(kRecoveryPercent, percent) != FALSE;
}

uint32_t Settings::ReadBufferSize() {
    uint64_t number;
    if (!ReadNumber(*this, kBufferSize, 4, number))
        return kDefaultBufferSize;
    uint32_t value = static_cast<uint32_t>(number);
    // A power of two within the limits; anything else is a hand edit gone wrong.
    if (value < kMinBufferSize || value > kMaxBufferSize || (value & (value - 1)) != 0)
        return kDefaultBufferSize;
    return value;
}

int32_t Settings::ReadIoPairCount() {
    uint64_t number;
    if (!ReadNumber(*this, kIoPairCount, 4, number))
        return 1;
    // Unsigned, so that 0 and every negative number fall outside.
    uint32_t value = static_cast<uint32_t>(number);
    if (value < 1 || value > static_cast<uint32_t>(kMaxIoPairCount))
        return 1;
    return static_cast<int32_t>(value);
}

uint64_t Settings::ReadPartSize() {
    uint64_t number;
    return ReadNumber(*this, kPartSize, 8, number) ? number : 0;
}

bool Settings::WritePartSize(uint64_t value) {
    BYTE bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<BYTE>(value >> (8 * i));
    return SetBinary(kPartSize, bytes, sizeof bytes) != FALSE;
}

uint32_t Settings::ReadPartCount() {
    return ReadSwitch(*this, kPartCount);
}

bool Settings::WritePartCount(uint32_t count) {
    return SetDword(kPartCount, count) != FALSE;
}

bool Settings::ReadWindowPlacement(WINDOWPLACEMENT& placement) {
    DWORD size = kPlacementSize;
    return QueryValue(kWindowPos, &placement, &size) && size == kPlacementSize;
}

bool Settings::WriteWindowPlacement(const WINDOWPLACEMENT& placement) {
    return SetBinary(kWindowPos, &placement, kPlacementSize) != FALSE;
}

bool Settings::ReadLastFolder(WideString& folder) {
    DWORD bytes = 0;
    if (!QueryValue(kLastFolder, nullptr, &bytes) || bytes < 2 * sizeof(wchar_t) ||
        bytes > (kLongestPath + 1) * sizeof(wchar_t))
        return false;
    WideString stored;
    const DWORD units = bytes / sizeof(wchar_t) + 1;
    wchar_t* buffer = stored.Reserve(units);
    if (buffer == nullptr || !QueryString(kLastFolder, buffer, units))
        return false;
    folder.Assign(buffer, static_cast<uint32_t>(::lstrlenW(buffer)));
    return folder.Length() != 0;
}

bool Settings::WriteLastFolder(const wchar_t* folder) {
    return SetString(kLastFolder, folder) != FALSE;
}
