#include "ui/ShellIntegration.h"

#include "toolkit/RegKey.h"

namespace ShellIntegration {

namespace {

// Key names, relative to HKEY_CLASSES_ROOT.
constexpr wchar_t kExtensionKey[] = L".001";
constexpr wchar_t kJoinVerbsKey[] = L".001\\Shell";
constexpr wchar_t kJoinVerbKey[] = L".001\\Shell\\join";
constexpr wchar_t kJoinCommandKey[] = L".001\\Shell\\join\\command";
constexpr wchar_t kSplitVerbKey[] = L"*\\Shell\\split";
constexpr wchar_t kSplitCommandKey[] = L"*\\Shell\\split\\command";
constexpr wchar_t kJoinVerbName[] = L"join";

constexpr wchar_t kJoinDisplayName[] = L"&Join";
constexpr wchar_t kSplitDisplayName[] = L"&Split";

// Registry names and command lines are compared without regard to letter case, as the
// registry and the file system themselves do.
bool SameText(const wchar_t* a, const wchar_t* b) {
    return ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Whether the default value of an open key equals the command line this program would write.
bool CommandIsOurs(RegKey& key, bool split) {
    wchar_t stored[kCommandLineCapacity];
    wchar_t built[kCommandLineCapacity];
    if (!key.QueryString(nullptr, stored, kCommandLineCapacity))
        return false;
    // Without our own command line there is nothing to compare with.
    if (!BuildCommandLine(split, built))
        return false;
    return SameText(stored, built);
}

// One install step: the key (and any missing parent), then its default value.
LONG WriteDefaultValue(RegKey& key, const wchar_t* subKey, const wchar_t* text) {
    if (!key.Create(subKey, HKEY_CLASSES_ROOT, KEY_SET_VALUE))
        return key.LastStatus();
    // A failed write does not stop the install: QueryStatus shows it afterwards.
    key.SetString(nullptr, text);
    key.Close();
    return ERROR_SUCCESS;
}

// Takes ".001\Shell" back to how it was before Install: the default verb goes when it names
// our verb. Returns the status of that removal (0 when there was nothing of ours).
LONG RemoveDefaultVerb() {
    RegKey key;
    if (!key.Open(kJoinVerbsKey, HKEY_CLASSES_ROOT, KEY_QUERY_VALUE | KEY_SET_VALUE))
        return key.LastStatus() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : key.LastStatus();
    wchar_t verb[16];
    if (!key.QueryString(nullptr, verb, ARRAYSIZE(verb)) || !SameText(verb, kJoinVerbName))
        return ERROR_SUCCESS;
    return key.DeleteValue(nullptr) ? ERROR_SUCCESS : key.LastStatus();
}

// Removes a key that Install may have created on its way, but only when nothing is left in
// it: whatever another program keeps there stays.
void RemoveIfEmpty(const wchar_t* subKey) {
    RegKey key;
    if (!key.Open(subKey, HKEY_CLASSES_ROOT, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS))
        return;
    const DWORD subKeys = key.SubKeyCount();
    if (key.LastStatus() != ERROR_SUCCESS || subKeys != 0)
        return;
    const DWORD values = key.ValueCount();
    if (key.LastStatus() != ERROR_SUCCESS || values != 0)
        return;
    key.Close();
    RegKey root(HKEY_CLASSES_ROOT);
    root.DeleteTree(subKey);
}

} // namespace

BOOL BuildCommandLine(bool split, wchar_t* buffer) {
    wchar_t module[kModulePathCapacity];
    const DWORD length = ::GetModuleFileNameW(nullptr, module, kModulePathCapacity);
    if (length == 0)
        return FALSE;
    if (length >= kModulePathCapacity) {
        // Cut short: Windows leaves ERROR_INSUFFICIENT_BUFFER, older systems nothing at all.
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    // "<module>" /j "%1": the module path plus ten characters and the terminator.
    DWORD at = 0;
    buffer[at++] = L'"';
    for (DWORD i = 0; i < length; ++i)
        buffer[at++] = module[i];
    for (const wchar_t* rest = split ? L"\" /s \"%1\"" : L"\" /j \"%1\""; *rest != L'\0'; ++rest)
        buffer[at++] = *rest;
    buffer[at] = L'\0';
    return TRUE;
}

InstallStatus QueryStatus() {
    RegKey key;
    if (!key.Open(kJoinCommandKey, HKEY_CLASSES_ROOT, KEY_QUERY_VALUE))
        return InstallStatus::NotInstalled;
    if (!CommandIsOurs(key, false))
        return InstallStatus::Corrupted;
    if (!key.Open(kSplitCommandKey, HKEY_CLASSES_ROOT, KEY_QUERY_VALUE))
        return InstallStatus::Corrupted;
    return CommandIsOurs(key, true) ? InstallStatus::Installed : InstallStatus::Corrupted;
}

BOOL Install() {
    // Both command lines first: a verb without its true command line is never written.
    wchar_t joinCommand[kCommandLineCapacity];
    wchar_t splitCommand[kCommandLineCapacity];
    if (!BuildCommandLine(false, joinCommand) || !BuildCommandLine(true, splitCommand))
        return FALSE;

    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } steps[] = {
        {kJoinVerbKey, kJoinDisplayName}, {kJoinCommandKey, joinCommand},
        {kJoinVerbsKey, kJoinVerbName},   {kSplitVerbKey, kSplitDisplayName},
        {kSplitCommandKey, splitCommand},
    };
    RegKey key;
    for (const auto& step : steps) {
        const LONG status = WriteDefaultValue(key, step.key, step.value);
        if (status != ERROR_SUCCESS) {
            ::SetLastError(static_cast<DWORD>(status));
            return FALSE;
        }
    }
    return TRUE;
}

BOOL Uninstall() {
    RegKey root(HKEY_CLASSES_ROOT);
    // Only our verb and the default verb naming it go; .001 may carry other programs' entries.
    LONG joinStatus = root.DeleteTree(kJoinVerbKey) ? ERROR_SUCCESS : root.LastStatus();
    const LONG verbStatus = RemoveDefaultVerb();
    if (joinStatus == ERROR_SUCCESS)
        joinStatus = verbStatus;
    RemoveIfEmpty(kJoinVerbsKey);
    RemoveIfEmpty(kExtensionKey);

    // Attempted whatever the join verb gave; "*\Shell" itself stays.
    const LONG splitStatus = root.DeleteTree(kSplitVerbKey) ? ERROR_SUCCESS : root.LastStatus();

    ::SetLastError(static_cast<DWORD>(splitStatus != ERROR_SUCCESS ? splitStatus : joinStatus));
    return joinStatus == ERROR_SUCCESS && splitStatus == ERROR_SUCCESS;
}

} // namespace ShellIntegration
