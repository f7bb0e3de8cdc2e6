#include "ops/JoinOperation.h"

#include "ops/OperationDisplay.h"
#include "ops/PartNaming.h"
#include "ops/Volume.h"

// A join whose set names more parts than lie beside the first: it joins those, then asks where
// the next ones are, and goes on from there.

bool JoinOperation::ExpectPart(uint32_t firstMissing, uint32_t highest) {
    if (!display.AsksForParts()) {
        ReportMissingPart(firstMissing);
        return false;
    }
    sources.Expect(highest);
    return true;
}

void JoinOperation::AwaitNextPart() {
    // Every part found is joined, and closed: the disc that held them may be taken out.
    if (!askWork.Start<JoinOperation, &JoinOperation::AskSlice>(this))
        ReportError(::GetLastError(), L"Error");
}

void JoinOperation::AskSlice() {
    // A pause holds the question back until the join resumes, which asks anew.
    if (state == OperationState::Paused)
        return;
    askWork.Stop();
    if (state != OperationState::Running)
        return;
    const uint32_t number = static_cast<uint32_t>(parts.Count()) + 1;
    WideString partPath;
    WideString partName;
    WideString folder;
    folder.Assign(sources.Folder().Text(), sources.Folder().Length());
    if (!PartPath(path.Text(), number, partPath) || !FileNameOf(partPath.Text(), partName) ||
        !folder.Buffer()) {
        ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
        return;
    }
    const PartAnswer answer = display.AskForPart(partName.Text(), folder);
    // The window ended the join while it asked.
    if (state != OperationState::Running)
        return;
    if (answer == PartAnswer::Cancel) {
        ReportMissingPart(number);
        return;
    }
    bool added = false;
    if (answer == PartAnswer::Browse && !sources.TakeFolder(folder, added)) {
        ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
        return;
    }
    // The recovery data checks the parts of every folder there at once, and may make up for
    // those that none holds.
    if (added && setBeside)
        RepairAcrossFolders();
    else
        TakeNextRun();
}

void JoinOperation::TakeNextRun() {
    const int32_t before = parts.Count();
    const uint32_t first = static_cast<uint32_t>(before) + 1;
    FoundParts found;
    if (!sources.Find(first, totalSize, sectorSize, AppendPart, &parts, found)) {
        WideString partPath;
        sources.Locate(found.unmeasured != 0 ? found.unmeasured : first, partPath);
        ReportError(::GetLastError(), L"Error opening %s", partPath.Text());
        return;
    }
    sources.Expect(sources.HighestSeen());
    if (found.count == 0) {
        AwaitNextPart();
        return;
    }
    totalSize += found.totalSize;
    if (!CheckPartSizes() || !JudgeEmptyParts(before))
        return;
    // The set's hashes see an empty part at the head of the run here: no chunk ends it.
    for (int32_t i = before; IsHashing() && i < parts.Count() && parts[i].size == 0; ++i) {
        if (!OnPartHashed(i, Sha256().Final()))
            return;
    }
    // A part that starts off a sector boundary of the output can't be written unbuffered.
    if (fileUnbuffered && !found.aligned) {
        file.Close();
        fileUnbuffered = false;
        if (!file.Open(unfinishedPath.Text(), GENERIC_WRITE, OPEN_EXISTING, kOverlapped)) {
            ReportError(::GetLastError(), L"Error opening %s", name.Text());
            return;
        }
    }
    if (!StartPipeline())
        return;
    FinishIfComplete();
}

void JoinOperation::AppendRebuilt(WideString& text) const {
    const DynArray<uint32_t>& rebuilt = repair.Rebuilt();
    WideString firstName;
    if (rebuilt.Count() == 0 || !PartPath(name.Text(), rebuilt[0], firstName))
        return;
    text.AppendFormat(L"%s", firstName.Text());
    if (rebuilt.Count() > 1)
        text.AppendFormat(L" and %d more", rebuilt.Count() - 1);
    text.AppendFormat(L" rebuilt");
    if (repair.RebuiltElsewhere())
        text.AppendFormat(L" in %s", outputFolder.Text());
    text.AppendFormat(L"; ");
}

void JoinOperation::RepairAcrossFolders() {
    // What was joined goes, as the join starts again once the set has checked every part
    // wherever it lies and rebuilt those that lie nowhere.
    StopHashing();
    DropUnfinished();
    parts.Clear();
    nextPart = 0;
    if (!repair.Find(path)) {
        ReportError(::GetLastError(), L"Error");
        return;
    }
    BeginRepair();
}

bool JoinOperation::JudgeEmptyParts(int32_t from) {
    static const uint8_t kNothing = 0;
    for (int32_t i = from; i < parts.Count(); ++i) {
        if (parts[i].size != 0 || !othersUsed)
            continue;
        others.Feed(&kNothing, 0, i);
        if (!CheckPartAgainstOthers(i))
            return false;
    }
    return true;
}
