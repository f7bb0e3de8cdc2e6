#include "ui/ShellIntegration.h"

#include "app/WideString.h"
#include "toolkit/RegKey.h"

namespace ShellIntegration {

namespace {

// Key names, relative to a hive: the user's own classes (HKEY_CURRENT_USER), which need no
// rights and which Explorer merges into HKEY_CLASSES_ROOT, or the machine's
// (HKEY_LOCAL_MACHINE), where HKEY_CLASSES_ROOT writes of older copies landed.
constexpr wchar_t kExtensionKey[] = L"Software\\Classes\\.001";
constexpr wchar_t kJoinVerbsKey[] = L"Software\\Classes\\.001\\Shell";
constexpr wchar_t kJoinVerbKey[] = L"Software\\Classes\\.001\\Shell\\join";
constexpr wchar_t kJoinCommandKey[] = L"Software\\Classes\\.001\\Shell\\join\\command";
constexpr wchar_t kSplitVerbKey[] = L"Software\\Classes\\*\\Shell\\split";
constexpr wchar_t kSplitCommandKey[] = L"Software\\Classes\\*\\Shell\\split\\command";
constexpr wchar_t kJoinVerbName[] = L"join";
// The check verb is on parts and on every file beside them that can name a set; those are
// other programs' types, so it goes where Explorer adds to any program's verbs.
constexpr wchar_t kCheckPartVerbKey[] = L"Software\\Classes\\.001\\Shell\\check";
constexpr const wchar_t* kCheckSideFiles[] = {L".sha256", L".par2", L".sfv",
                                              L".md5",    L".sha1", L".crc"};
constexpr wchar_t kCheckDisplayName[] = L"&Check";

constexpr wchar_t kJoinDisplayName[] = L"&Join";
constexpr wchar_t kSplitDisplayName[] = L"&Split";

const HKEY kUserHive = HKEY_CURRENT_USER;
const HKEY kMachineHive = HKEY_LOCAL_MACHINE;

// What removing a verb takes: changing and deleting its key and reaching the keys below.
constexpr REGSAM kRemoveAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE;

// Registry names and command lines are compared without regard to letter case, as the
// registry and the file system themselves do.
bool SameText(const wchar_t* a, const wchar_t* b) {
    return ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// The keys of the check verb on type `index` of kCheckTypes, the parts first: the verb's and
// its command's, and for a side file the two made on the way to them (empty for the parts).
constexpr int32_t kCheckTypes = 1 + static_cast<int32_t>(ARRAYSIZE(kCheckSideFiles));
struct CheckKeys {
    WideString verb;
    WideString command;
    WideString shell;
    WideString type;
};
void CheckKeysOf(int32_t index, CheckKeys& keys) {
    if (index == 0) {
        keys.verb.Format(L"%s", kCheckPartVerbKey);
    } else {
        keys.type.Format(L"Software\\Classes\\SystemFileAssociations\\%s",
                         kCheckSideFiles[index - 1]);
        keys.shell.Format(L"%s\\Shell", keys.type.Text());
        keys.verb.Format(L"%s\\check", keys.shell.Text());
    }
    keys.command.Format(L"%s\\command", keys.verb.Text());
}

// Whether the default value of an open key equals the command line this program would write.
bool CommandIsOurs(RegKey& key, Verb verb) {
    wchar_t stored[kCommandLineCapacity];
    wchar_t built[kCommandLineCapacity];
    if (!key.QueryString(nullptr, stored, kCommandLineCapacity))
        return false;
    // Without our own command line there is nothing to compare with.
    if (!BuildCommandLine(verb, built))
        return false;
    return SameText(stored, built);
}

// One install step: the key (and any missing parent), then its default value.
LONG WriteDefaultValue(RegKey& key, const wchar_t* subKey, const wchar_t* text) {
    if (!key.Create(subKey, kUserHive, KEY_SET_VALUE))
        return key.LastStatus();
    // A failed write does not stop the install: QueryStatus shows it afterwards.
    key.SetString(nullptr, text);
    key.Close();
    return ERROR_SUCCESS;
}

bool KeyExists(HKEY hive, const wchar_t* subKey) {
    RegKey key;
    return key.Open(subKey, hive, KEY_QUERY_VALUE) || key.LastStatus() != ERROR_FILE_NOT_FOUND;
}

// Takes ".001\Shell" back to how it was before Install: the default verb goes when it names
// our verb. Returns the status of that removal (0 when there was nothing of ours).
LONG RemoveDefaultVerb(HKEY hive) {
    RegKey key;
    if (!key.Open(kJoinVerbsKey, hive, KEY_QUERY_VALUE | KEY_SET_VALUE))
        return key.LastStatus() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : key.LastStatus();
    wchar_t verb[16];
    if (!key.QueryString(nullptr, verb, ARRAYSIZE(verb)) || !SameText(verb, kJoinVerbName))
        return ERROR_SUCCESS;
    return key.DeleteValue(nullptr) ? ERROR_SUCCESS : key.LastStatus();
}

// Removes a key that Install may have created on its way, but only when nothing is left in
// it: whatever another program keeps there stays.
void RemoveIfEmpty(HKEY hive, const wchar_t* subKey) {
    RegKey key;
    if (!key.Open(subKey, hive, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS))
        return;
    const DWORD subKeys = key.SubKeyCount();
    if (key.LastStatus() != ERROR_SUCCESS || subKeys != 0)
        return;
    const DWORD values = key.ValueCount();
    if (key.LastStatus() != ERROR_SUCCESS || values != 0)
        return;
    key.Close();
    RegKey root(hive);
    root.DeleteTree(subKey);
}

// The check verbs and the keys that only held them; a verb already gone is no failure (an
// older copy installed none).
LONG RemoveCheckVerbs(HKEY hive) {
    LONG status = ERROR_SUCCESS;
    for (int32_t i = 0; i < kCheckTypes; ++i) {
        CheckKeys keys;
        CheckKeysOf(i, keys);
        RegKey root(hive);
        if (!root.DeleteTree(keys.verb.Text()) && root.LastStatus() != ERROR_FILE_NOT_FOUND &&
            status == ERROR_SUCCESS)
            status = root.LastStatus();
        if (keys.shell.Length() != 0) {
            RemoveIfEmpty(hive, keys.shell.Text());
            RemoveIfEmpty(hive, keys.type.Text());
        }
    }
    return status;
}

// The join verb, the default verb naming it and the keys that only held them.
LONG RemoveJoinVerb(HKEY hive) {
    RegKey root(hive);
    const LONG treeStatus = root.DeleteTree(kJoinVerbKey) ? ERROR_SUCCESS : root.LastStatus();
    const LONG verbStatus = RemoveDefaultVerb(hive);
    RemoveIfEmpty(hive, kJoinVerbsKey);
    RemoveIfEmpty(hive, kExtensionKey);
    return treeStatus != ERROR_SUCCESS ? treeStatus : verbStatus;
}

LONG RemoveSplitVerb(HKEY hive) {
    // "*\Shell" itself stays: it belongs to every program.
    RegKey root(hive);
    return root.DeleteTree(kSplitVerbKey) ? ERROR_SUCCESS : root.LastStatus();
}

// Whether this user may change everything that removing the verbs found in a hive touches.
LONG MayRemove(HKEY hive, bool join, bool split) {
    const struct {
        bool needed;
        const wchar_t* key;
    } keys[] = {{join, kJoinVerbKey}, {join, kJoinVerbsKey}, {split, kSplitVerbKey}};
    for (const auto& k : keys) {
        RegKey key;
        if (k.needed && !key.Open(k.key, hive, kRemoveAccess) &&
            key.LastStatus() != ERROR_FILE_NOT_FOUND)
            return key.LastStatus();
    }
    return ERROR_SUCCESS;
}

// The verbs registered for everybody, by an older copy or an administrator. They go only as a
// whole: where this user may not change one of their keys, all of them stay as they are and
// the result is ERROR_ACCESS_DENIED. A verb missing there is nothing to report.
LONG RemoveMachineVerbs() {
    const bool join = KeyExists(kMachineHive, kJoinVerbKey);
    const bool split = KeyExists(kMachineHive, kSplitVerbKey);
    if (!join && !split)
        return ERROR_SUCCESS;
    const LONG rights = MayRemove(kMachineHive, join, split);
    if (rights != ERROR_SUCCESS)
        return rights;
    const LONG joinStatus = join ? RemoveJoinVerb(kMachineHive) : ERROR_SUCCESS;
    const LONG splitStatus = split ? RemoveSplitVerb(kMachineHive) : ERROR_SUCCESS;
    return splitStatus != ERROR_SUCCESS ? splitStatus : joinStatus;
}

// The verbs always start the window program: run from the console program, its name takes the
// place of ours in the module path. The window's name is the shorter, so the path still fits.
constexpr wchar_t kConsoleProgramFile[] = L"brindlecot-cli.exe";
constexpr wchar_t kWindowProgramFile[] = L"brindlecot.exe";

DWORD ToWindowProgram(wchar_t* module, DWORD length) {
    const DWORD nameLength = ARRAYSIZE(kConsoleProgramFile) - 1;
    if (length <= nameLength || module[length - nameLength - 1] != L'\\' ||
        !SameText(module + length - nameLength, kConsoleProgramFile))
        return length;
    DWORD at = length - nameLength;
    for (const wchar_t* p = kWindowProgramFile; *p != L'\0'; ++p)
        module[at++] = *p;
    module[at] = L'\0';
    return at;
}

} // namespace

BOOL BuildCommandLine(Verb verb, wchar_t* buffer) {
    wchar_t module[kModulePathCapacity];
    DWORD length = ::GetModuleFileNameW(nullptr, module, kModulePathCapacity);
    if (length == 0)
        return FALSE;
    if (length >= kModulePathCapacity) {
        // Cut short: Windows leaves ERROR_INSUFFICIENT_BUFFER, older systems nothing at all.
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    length = ToWindowProgram(module, length);
    // "<module>" /j "%1": the module path plus ten characters and the terminator.
    DWORD at = 0;
    buffer[at++] = L'"';
    for (DWORD i = 0; i < length; ++i)
        buffer[at++] = module[i];
    const wchar_t* const rest = verb == Verb::Split  ? L"\" /s \"%1\""
                                : verb == Verb::Join ? L"\" /j \"%1\""
                                                     : L"\" /c \"%1\"";
    for (const wchar_t* c = rest; *c != L'\0'; ++c)
        buffer[at++] = *c;
    buffer[at] = L'\0';
    return TRUE;
}

InstallStatus QueryStatus() {
    RegKey key;
    if (!key.Open(kJoinCommandKey, kUserHive, KEY_QUERY_VALUE))
        return InstallStatus::NotInstalled;
    if (!CommandIsOurs(key, Verb::Join))
        return InstallStatus::Corrupted;
    if (!key.Open(kSplitCommandKey, kUserHive, KEY_QUERY_VALUE) || !CommandIsOurs(key, Verb::Split))
        return InstallStatus::Corrupted;
    // A copy from before the check verb installed none: Repair adds it.
    for (int32_t i = 0; i < kCheckTypes; ++i) {
        CheckKeys keys;
        CheckKeysOf(i, keys);
        if (!key.Open(keys.command.Text(), kUserHive, KEY_QUERY_VALUE) ||
            !CommandIsOurs(key, Verb::Check))
            return InstallStatus::Corrupted;
    }
    return InstallStatus::Installed;
}

BOOL Install() {
    // Both command lines first: a verb without its true command line is never written.
    wchar_t joinCommand[kCommandLineCapacity];
    wchar_t splitCommand[kCommandLineCapacity];
    wchar_t checkCommand[kCommandLineCapacity];
    if (!BuildCommandLine(Verb::Join, joinCommand) ||
        !BuildCommandLine(Verb::Split, splitCommand) ||
        !BuildCommandLine(Verb::Check, checkCommand))
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
    for (int32_t i = 0; i < kCheckTypes; ++i) {
        CheckKeys keys;
        CheckKeysOf(i, keys);
        LONG status = WriteDefaultValue(key, keys.verb.Text(), kCheckDisplayName);
        if (status == ERROR_SUCCESS)
            status = WriteDefaultValue(key, keys.command.Text(), checkCommand);
        if (status != ERROR_SUCCESS) {
            ::SetLastError(static_cast<DWORD>(status));
            return FALSE;
        }
    }
    return TRUE;
}

BOOL Uninstall() {
    // Only our verbs and the default verb naming ours go; .001 may carry other programs' entries.
    // The split verb is attempted whatever the join verb gave.
    // The check verbs first: .001's keys then go with the join verb's when nothing else is left.
    const LONG checkStatus = RemoveCheckVerbs(kUserHive);
    const LONG joinStatus = RemoveJoinVerb(kUserHive);
    const LONG splitStatus = RemoveSplitVerb(kUserHive);
    const LONG userStatus = splitStatus != ERROR_SUCCESS  ? splitStatus
                            : joinStatus != ERROR_SUCCESS ? joinStatus
                                                          : checkStatus;
    const LONG machineStatus = RemoveMachineVerbs();

    if (userStatus != ERROR_SUCCESS) {
        ::SetLastError(static_cast<DWORD>(userStatus));
        return FALSE;
    }
    // The user's own verbs are gone; verbs for everybody that this user may not change are no
    // failure of the uninstall, but the caller has to tell that they stay.
    ::SetLastError(static_cast<DWORD>(machineStatus));
    return machineStatus == ERROR_SUCCESS || machineStatus == ERROR_ACCESS_DENIED;
}

} // namespace ShellIntegration
