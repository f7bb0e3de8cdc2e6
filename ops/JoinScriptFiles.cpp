#include "ops/JoinScriptFiles.h"

#include "ops/JoinScriptText.h"
#include "ops/PartNaming.h"
#include "ops/Volume.h"

void JoinScriptFiles::SetFor(const WideString& wholePath, uint32_t partCount, bool withChecksum) {
    FileNameOf(wholePath.Text(), wholeName);
    scriptPath.Format(L"%s.join.cmd", wholePath.Text());
    textPath.Format(L"%s.join.txt", wholePath.Text());
    parts = partCount;
    checksum = withChecksum;
}

bool JoinScriptFiles::Build(const Sha256Digest* whole, DynArray<char>& script,
                            DynArray<char>& text) const {
    return BuildJoinScript(wholeName.Text(), parts, whole, script) &&
           BuildJoinInstructions(wholeName.Text(), parts, whole, text);
}

bool JoinScriptFiles::Sizes(uint64_t& scriptBytes, uint64_t& textBytes) const {
    // Every digest takes as many characters as any other.
    const Sha256Digest any{};
    DynArray<char> script, text;
    if (!Build(checksum ? &any : nullptr, script, text))
        return false;
    scriptBytes = static_cast<uint64_t>(script.Count());
    textBytes = static_cast<uint64_t>(text.Count());
    return true;
}

bool JoinScriptFiles::SpaceNeeded(uint32_t unit, uint64_t& bytes) const {
    uint64_t scriptBytes = 0, textBytes = 0;
    if (!Sizes(scriptBytes, textBytes))
        return false;
    bytes = SpaceTaken(scriptBytes, unit) + SpaceTaken(textBytes, unit);
    return true;
}

bool JoinScriptFiles::Create() {
    complete = false;
    if (!scriptFile.CreateNew(scriptPath.Text())) {
        failedPath.Assign(scriptPath.Text(), scriptPath.Length());
        return false;
    }
    if (!textFile.CreateNew(textPath.Text())) {
        const DWORD error = ::GetLastError();
        scriptFile.Close();
        ::DeleteFileW(scriptPath.Text());
        failedPath.Assign(textPath.Text(), textPath.Length());
        ::SetLastError(error);
        return false;
    }
    created = true;
    return true;
}

bool JoinScriptFiles::Complete(const Sha256Digest* whole) {
    DynArray<char> script, text;
    if (!Build(whole, script, text))
        return false;
    if (!scriptFile.WriteFully(script.Items(), static_cast<size_t>(script.Count())) ||
        !scriptFile.Close()) {
        failedPath.Assign(scriptPath.Text(), scriptPath.Length());
        return false;
    }
    if (!textFile.WriteFully(text.Items(), static_cast<size_t>(text.Count())) ||
        !textFile.Close()) {
        failedPath.Assign(textPath.Text(), textPath.Length());
        return false;
    }
    complete = true;
    return true;
}

void JoinScriptFiles::Drop() {
    scriptFile.Close();
    textFile.Close();
    if (created && !complete) {
        ::DeleteFileW(scriptPath.Text());
        ::DeleteFileW(textPath.Text());
    }
    created = false;
}

void JoinScriptFiles::Remove() {
    scriptFile.Close();
    textFile.Close();
    if (created) {
        ::DeleteFileW(scriptPath.Text());
        ::DeleteFileW(textPath.Text());
    }
    created = false;
}
