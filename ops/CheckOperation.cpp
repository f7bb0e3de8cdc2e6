#include "ops/CheckOperation.h"

#include "io/IoPair.h"
#include "ops/ChunkJob.h"
#include "ops/Commands.h"
#include "ops/OperationDisplay.h"
#include "ops/PartNaming.h"
#include "ops/Volume.h"
#include "ui/ShellActions.h"

CheckOperation::~CheckOperation() {
    repairWork.Stop();
    repair.Cancel();
}

void CheckOperation::Start(const WideString& commandLinePath) {
    if (!TakeSetOf(commandLinePath))
        return;

    display.SetTitle(name.Text());
    display.SetStatus(L"Checking %s...", name.Text());
    display.SetStatusBar(path.Text());

    listFile.SetFor(path);
    listFound = listFile.Read(name.Text(), list);
    listUsed = listFound && list.Problem() == ListProblem::None;
    if (listUsed && list.SplitUnfinished()) {
        ReportErrorAs(OperationOutcome::Refused, ERROR_HANDLE_EOF,
                      L"The split of %s did not finish", name.Text());
        return;
    }
    others.Read(path.Text(), name.Text());
    othersUsed = others.AnyUsed();

    if (!repair.Find(path)) {
        ReadParts();
        return;
    }
    state = OperationState::Running;
    display.SetAction(kCommandPause, kActionRunGroup);
    if (!repairWork.Start<CheckOperation, &CheckOperation::SetSlice>(this))
        ReportError(::GetLastError(), L"Error");
}

void CheckOperation::SetSlice() {
    switch (repair.Work()) {
    case JoinRepair::Step::Working:
        display.SetStatus(L"%s", repair.Activity().Text());
        display.SetTitleProgress(name.Text(), repair.Progress() * 100.0f);
        return;
    case JoinRepair::Step::Loaded: {
        // Parts past the last the set names: a later split made them.
        PartNames names;
        if (ScanPartNames(path.Text(), names) && names.highestFile > repair.HighestPart()) {
            repair.Ignore(L"it was made for fewer parts");
            return;
        }
        if (listUsed) {
            for (const ChecksumEntry& entry : list.Parts())
                repair.Vouch(entry.part, entry.digest);
        }
        repair.CheckOnly();
        return;
    }
    case JoinRepair::Step::Planned:
        // Too few blocks: the count of the intact ones tells how many more it would take.
        if (repair.TooFewBlocks())
            return;
        // The set stays ready for a rebuild in place, should the user ask for it.
        repairWork.Stop();
        repairReady = true;
        VerdictFromSet(0);
        return;
    case JoinRepair::Step::Done:
        // Rebuilt and swapped in: the parts are checked again from the start.
        if (repairing) {
            repairing = false;
            if (repair.Find(path))
                return;
        }
        repairWork.Stop();
        VerdictFromSet(0);
        return;
    case JoinRepair::Step::Failed:
        repairWork.Stop();
        if (repair.FailureCode() == ERROR_INVALID_DATA && repair.MoreNeeded() > 0)
            VerdictFromSet(repair.MoreNeeded());
        else
            ReportErrorAs(repair.FailureOutcome(IsBusy()), repair.FailureCode(), L"%s",
                          repair.FailureText().Text());
        return;
    case JoinRepair::Step::Ignored:
        // The set is of other parts: the lists alone speak, and the note says why.
        repairWork.Stop();
        state = OperationState::Idle;
        ReadParts();
        return;
    }
}

bool CheckOperation::MeasureNumber(uint32_t number, uint64_t& size) const {
    WideString partPath;
    WIN32_FILE_ATTRIBUTE_DATA found;
    return PartPath(path.Text(), number, partPath) &&
           ::GetFileAttributesExW(partPath.Text(), GetFileExInfoStandard, &found) &&
           MeasurePart(partPath.Text(), found.dwFileAttributes, found.nFileSizeHigh,
                       found.nFileSizeLow, size);
}

bool CheckOperation::CountParts(uint32_t& count) {
    PartNames names;
    if (!ScanPartNames(path.Text(), names)) {
        ReportError(::GetLastError(), L"Error");
        return false;
    }
    // The parts there, and those the files beside them name: a set still arriving lacks some.
    const DynArray<ChecksumEntry>& listed = list.Parts();
    const uint32_t named[] = {listUsed && listed.Count() != 0 ? listed[listed.Count() - 1].part : 0,
                              othersUsed ? others.HighestListed() : 0, repair.HighestPart()};
    count = names.highestFile;
    for (uint32_t highest : named)
        count = highest > count ? highest : count;
    // Every part past those there is one a file names, or lies between such parts and those
    // there: more is a number no set of these files has, and nothing is made for each of them.
    const uint64_t lines = static_cast<uint64_t>(listUsed ? listed.Count() : 0) +
                           (othersUsed ? others.PartLines() : 0) +
                           static_cast<uint32_t>(repair.PartCount());
    if (count > names.highestFile + lines) {
        ReportErrorAs(OperationOutcome::Refused, ERROR_INVALID_DATA,
                      L"A file beside %s names part %u, past any set of its parts", name.Text(),
                      count);
        return false;
    }
    if (count == 0) {
        WideString first;
        PartPath(path.Text(), 1, first);
        ReportError(ERROR_FILE_NOT_FOUND, L"Error opening %s", first.Text());
        return false;
    }
    if (!verdict.Reset(count)) {
        ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
        return false;
    }
    return true;
}

void CheckOperation::VerdictFromSet(int32_t moreNeeded) {
    uint32_t count = 0;
    if (!CountParts(count))
        return;
    verdict.SetRecovery(repair.BlocksNeeded(), repair.BlocksAvailable(), moreNeeded);
    for (uint32_t number = 1; number <= count; ++number) {
        uint64_t size = 0;
        uint64_t setSize = 0;
        JoinRepair::PartFinding finding;
        if (!MeasureNumber(number, size))
            continue; // missing
        if (!repair.FindingOf(number, finding)) {
            verdict.Set(number, CheckVerdict::State::NotVouched, size);
            continue;
        }
        repair.CoversPart(number, setSize);
        if (!finding.present) {
            verdict.Set(number,
                        size == setSize ? CheckVerdict::State::Damaged
                                        : CheckVerdict::State::WrongSize,
                        size);
            continue;
        }
        // The list has the last word on a part it names.
        const bool good = finding.vouched ? finding.listAgrees : finding.whole;
        verdict.Set(number, good ? CheckVerdict::State::Good : CheckVerdict::State::Damaged, size);
        for (int32_t s = 0; s < finding.slices; ++s) {
            if (!repair.SliceBad(number, s))
                continue;
            int32_t last = s;
            while (last + 1 < finding.slices && repair.SliceBad(number, last + 1))
                ++last;
            if (!verdict.AddBadSlices(number, s, last)) {
                ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
                return;
            }
            s = last;
        }
    }
    WideString vouchers;
    AppendVouchers(vouchers, true);
    verdict.SetVouchers(vouchers.Text());
    End();
}

void CheckOperation::AppendVouchers(WideString& text, bool bySet) const {
    text.Format(L"%s", listUsed ? L"SHA-256" : L"");
    if (bySet)
        text.AppendFormat(L"%s%s", text.Length() != 0 ? L", " : L"", L"PAR2");
    else if (othersUsed)
        others.AppendNames(text);
}

void CheckOperation::ReadParts() {
    uint32_t count = 0;
    if (!CountParts(count))
        return;
    if (sectorSize == 0) {
        ReportSectorSizeError(sectorError, path.Text());
        return;
    }
    uint64_t offset = 0;
    WideString partPath;
    for (uint32_t number = 1; number <= count; ++number) {
        uint64_t size = 0;
        // A missing part stays in the list as an empty one, so that index and number agree.
        const bool present = MeasureNumber(number, size);
        if (present)
            verdict.Set(number, CheckVerdict::State::NotVouched, size);
        if (!PartPath(path.Text(), number, partPath) ||
            !parts.Append(
                PartRecord(GENERIC_READ, OPEN_EXISTING, partPath, offset, present ? size : 0))) {
            ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
            return;
        }
        offset += size;
    }
    totalSize = offset;
    doneSize = 0;
    // The whole file's digests tell something only of a whole set.
    const bool whole = verdict.Outcome() == OperationOutcome::Done;
    wholeByList = listUsed && whole && list.HasWhole();
    wholeByOthers = othersUsed && whole;
    if ((listUsed || othersUsed) &&
        !BeginHashing(listUsed && list.Parts().Count() != 0, wholeByList))
        return;
    if (othersUsed) {
        othersLane = (listUsed ? 2 : 0) % Lanes();
        if (!others.Begin(parts.Count())) {
            ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
            return;
        }
        static const uint8_t kNothing = 0;
        for (int32_t i = 0; i < parts.Count(); ++i) {
            if (parts[i].size != 0)
                continue;
            others.Feed(&kNothing, 0, i);
            JudgeByOthers(i);
        }
    }
    if (!StartPipeline())
        return;
    state = OperationState::Running;
    display.SetAction(kCommandPause, kActionRunGroup | kActionPauseEnabled);
    FinishIfComplete();
}

void CheckOperation::JudgeByOthers(int32_t index) {
    // Where the SHA-256 list names the part, it alone speaks for it.
    const uint32_t number = static_cast<uint32_t>(index) + 1;
    const CheckVerdict::Row& row = verdict.RowOf(number);
    if (row.state != CheckVerdict::State::NotVouched || !others.NamesPart(number) || Listed(number))
        return;
    verdict.Set(number,
                others.PartDamaged(index) ? CheckVerdict::State::Damaged
                                          : CheckVerdict::State::Good,
                row.size);
}

bool CheckOperation::Listed(uint32_t number) const {
    return listUsed && list.Names(number);
}

void CheckOperation::PrepareIoPair(IoPair& pair) {
    PartRecord& part = *pair.part;
    pair.source = &part.file;
    pair.SetPosition(part.issued);
    pair.destination = nullptr;
    pair.writeOffset = 0;
}

bool CheckOperation::OnPartHashed(int32_t index, const Sha256Digest& digest) {
    const uint32_t number = static_cast<uint32_t>(index) + 1;
    const CheckVerdict::Row& row = verdict.RowOf(number);
    if (row.state == CheckVerdict::State::Missing)
        return true;
    for (const ChecksumEntry& entry : list.Parts()) {
        if (entry.part == number) {
            verdict.Set(number,
                        entry.digest == digest ? CheckVerdict::State::Good
                                               : CheckVerdict::State::Damaged,
                        row.size);
            break;
        }
    }
    return true;
}

bool CheckOperation::PlanChunkWork(ChunkJob&, uint32_t& lanes) {
    if (othersUsed)
        lanes |= 1u << othersLane;
    return true;
}

void CheckOperation::RunChunkWork(ChunkJob& job, int32_t lane) {
    if (othersUsed && lane == othersLane)
        others.Feed(job.data, job.length, job.endsPart);
}

bool CheckOperation::OnChunkWorked(ChunkJob& job) {
    if (job.endsPart >= 0 && othersUsed)
        JudgeByOthers(job.endsPart);
    return true;
}

void CheckOperation::Finish() {
    if (state != OperationState::Running)
        return;
    JudgeUnnamed();
    WideString vouchers;
    AppendVouchers(vouchers, false);
    verdict.SetVouchers(vouchers.Text());
    End();
}

void CheckOperation::JudgeUnnamed() {
    // A line for the whole file vouches for every part at once, or for none; the list's has the
    // last word.
    bool wholeNamed = false;
    bool wholeGood = false;
    if (wholeByList) {
        wholeNamed = true;
        wholeGood = WholeDigest() == list.Whole();
    } else if (wholeByOthers && others.WholeNamed()) {
        wholeNamed = true;
        wholeGood = !others.WholeDamaged(totalSize);
    }
    StopHashing();
    if (wholeNamed && !wholeGood)
        verdict.SetWholeDamaged();
    const uint64_t firstSize = parts.Count() != 0 ? parts[0].size : 0;
    for (uint32_t number = 1; number <= verdict.PartCount(); ++number) {
        const CheckVerdict::Row& row = verdict.RowOf(number);
        if (row.state != CheckVerdict::State::NotVouched)
            continue;
        if (wholeNamed) {
            if (wholeGood)
                verdict.Set(number, CheckVerdict::State::Good, row.size);
            continue;
        }
        // Every splitter makes all parts but the last the same size.
        const bool last = number == verdict.PartCount();
        if (last ? row.size > firstSize : row.size != firstSize)
            verdict.Set(number, CheckVerdict::State::WrongSize, row.size);
    }
}

void CheckOperation::End() {
    state = OperationState::Done;
    // What the check went through, whichever way it read the parts.
    if (totalSize == 0) {
        for (uint32_t number = 1; number <= verdict.PartCount(); ++number)
            totalSize += verdict.RowOf(number).size;
    }
    doneSize = totalSize;
    doneOutcome = verdict.Outcome();
    WideString summary;
    verdict.Summary(summary);
    display.SetTitle(name.Text());
    display.SetStatus(L"%s", summary.Text());
    // What was found beside the parts but not taken, and why, before the path.
    WideString bar;
    if (repair.Note().Length() != 0)
        bar.Format(L"%s; ", repair.Note().Text());
    others.AppendOutcome(bar, false, parts.Count());
    if (listFound && !listUsed) {
        WideString listName;
        WideString problem;
        FileNameOf(listFile.Path().Text(), listName);
        list.DescribeProblem(problem);
        bar.AppendFormat(L"%s ignored (%s); ", listName.Text(), problem.Text());
    }
    bar.AppendFormat(L"%s", path.Text());
    display.SetStatusBar(bar.Text());
    display.SetAction(repairReady ? kCommandRepair : kCommandFind,
                      kActionRunGroup | kActionResultGroup | kActionFindEnabled |
                          (repairReady ? kActionRepairEnabled : 0));
    display.ShowVerdict(verdict, name.Text());
    display.Repaint();
    PostEnded();
}

void CheckOperation::OnCommand(UINT id) {
    if (state == OperationState::Running && id == kCommandPause && !repairWork.IsRunning())
        Pause();
    else if (state == OperationState::Paused && id == kCommandResume)
        Resume();
    else if (state == OperationState::Done && id == kCommandRepair && repairReady)
        RepairInPlace();
    else if (state == OperationState::Done && id == kCommandFind) {
        WideString first;
        if (PartPath(path.Text(), 1, first))
            SelectInExplorer(first.Text());
    }
}

void CheckOperation::RepairInPlace() {
    // The rebuilt parts are written beside the others, which stay until all are proven.
    VolumeRoom room;
    repairReady = false;
    state = OperationState::Running;
    if (QueryVolumeRoom(path.Text(), room) &&
        !CheckRoom(SpaceTaken(repair.RebuildBytes(), room.UnitOr(sectorSize)), room.available)) {
        repair.Cancel();
        return;
    }
    repairing = true;
    doneOutcome = OperationOutcome::Done;
    display.SetStatus(L"%s", repair.Activity().Text());
    display.SetAction(kCommandPause, kActionRunGroup | kActionResultGroup);
    if (!repairWork.Start<CheckOperation, &CheckOperation::SetSlice>(this))
        ReportError(::GetLastError(), L"Error");
}

void CheckOperation::Abort() {
    repairWork.Stop();
    repair.Cancel();
    repairReady = false;
    repairing = false;
    StopHashing();
    parts.Clear();
    ForgetPairs();
    state = OperationState::Idle;
}
