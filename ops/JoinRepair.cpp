#include "ops/JoinRepair.h"

#include "app/ByteSize.h"
#include "app/Globals.h"
#include "ops/PartNaming.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// About the most work of one step, in bytes read, hashed or multiplied into a rebuilt slice: a
// step must fit the window's slice of time. 16 MiB of reading and hashing took up to 100 ms, and
// 4 MiB of recovery blocks read into fresh memory about 30 ms; with the workers busy on every
// core, a step takes up to twice as long.
constexpr uint32_t kStepBytes = 2 * 1024 * 1024;
// The most read or written in one piece: a step's, since a piece is read in one.
constexpr uint32_t kPieceBytes = kStepBytes;
// The least fed to the rebuilt slices in a step, however many they are.
constexpr uint32_t kLeastFeedBytes = 4 * 1024;

// Shorter names first: among the parts of one file, ".999" comes before ".1000".
bool NameBefore(const wchar_t* a, const wchar_t* b) {
    const size_t la = wcslen(a), lb = wcslen(b);
    return la != lb ? la < lb : ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_LESS_THAN;
}

bool Exists(const WideString& path) {
    return ::GetFileAttributesW(path.Text()) != INVALID_FILE_ATTRIBUTES;
}

void Forget(WideString& text) {
    text.Assign(nullptr, 0);
}

} // namespace

bool JoinRepair::Find(const WideString& wholePath) {
    Cancel();
    ignored = false;
    pieces.ForgetError();
    Forget(note);
    folder = wholePath;
    folder.CutAfterLastBackslash();
    rebuiltParts.Clear();
    if (!FileNameOf(wholePath.Text(), wholeName))
        return false;
    setName.Format(L"%s.par2", wholeName.Text());
    if (!set.BeginLoad(wholePath.Text()))
        return false;
    phase = Phase::Load;
    activity.Format(L"Reading %s...", setName.Text());
    return true;
}

// Reads the set's files on, a piece of their bytes at a time.
bool JoinRepair::LoadStep() {
    switch (set.LoadMore()) {
    case Par2Set::LoadStep::Working:
        return true;
    case Par2Set::LoadStep::Done:
        return TakeSet();
    case Par2Set::LoadStep::Failed:
        break;
    }
    if (::GetLastError() != ERROR_INVALID_DATA)
        return Fail(::GetLastError(), L"Error reading %s", setName.Text());
    Ignore(L"it holds no usable recovery data");
    return true;
}

// The set is read: what it names is sorted out, and the check can be planned.
bool JoinRepair::TakeSet() {
    const uint32_t piece = set.SliceSize() < kPieceBytes ? set.SliceSize() : kPieceBytes;
    badSlices.Clear();
    if (!Classify() || !badSlices.ResizeUp(set.TotalSlices()) ||
        !buffer.ResizeUp(static_cast<int32_t>(piece)))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, L"Error reading %s", setName.Text());
    for (bool& badSlice : badSlices)
        badSlice = false;
    phase = Phase::Loaded;
    activity.Format(L"Checking %s...", setName.Text());
    uint64_t wholeSize = 0;
    Md5Digest wholeHash;
    if (partOrder.Count() == 0 && !CoversWhole(wholeSize, wholeHash))
        Ignore(L"it names no part of this file");
    return true;
}

// Which files of the set this join may open: the whole file's parts and the whole file itself,
// each named once. Anything else, however it is named, stays unknown.
bool JoinRepair::Classify() {
    highestPart = 0;
    partOrder.Clear();
    entries.Clear();
    if (!entries.ResizeUp(set.FileCount()))
        return false;
    bool wholeSeen = false;
    for (int32_t i = 0; i < set.FileCount(); ++i) {
        Entry& entry = entries[i];
        entry = Entry{};
        entry.role = RoleOfSetFile(set.FileName(i), wholeName.Text(), entry.number);
        entry.state = State::Whole;
        if (entry.role == SetFileRole::Whole && wholeSeen)
            entry.role = SetFileRole::Foreign;
        wholeSeen = wholeSeen || entry.role == SetFileRole::Whole;
        if (entry.role == SetFileRole::Part && !partOrder.Append(i))
            return false;
    }
    const auto byNumber = [this](int32_t a, int32_t b) {
        return entries[a].number < entries[b].number;
    };
    std::sort(partOrder.begin(), partOrder.end(), byNumber);
    // A part named twice (in another case) is no part this set may speak for.
    bool twice = false;
    for (int32_t k = 1; k < partOrder.Count(); ++k) {
        Entry& before = entries[partOrder[k - 1]];
        Entry& entry = entries[partOrder[k]];
        if (before.number == entry.number) {
            before.role = SetFileRole::Foreign;
            entry.role = SetFileRole::Foreign;
            twice = true;
        }
    }
    if (twice) {
        partOrder.Clear();
        for (int32_t i = 0; i < entries.Count(); ++i) {
            if (entries[i].role == SetFileRole::Part)
                partOrder.Append(i); // fewer than before: there is room
        }
        std::sort(partOrder.begin(), partOrder.end(), byNumber);
    }
    if (partOrder.Count() > 0)
        highestPart = entries[partOrder[partOrder.Count() - 1]].number;
    return true;
}

int32_t JoinRepair::PartIndex(uint32_t number) const {
    const int32_t* found =
        std::lower_bound(partOrder.begin(), partOrder.end(), number,
                         [this](int32_t index, uint32_t n) { return entries[index].number < n; });
    return found != partOrder.end() && entries[*found].number == number ? *found : -1;
}

bool JoinRepair::CoversPart(uint32_t number, uint64_t& size) const {
    const int32_t index = PartIndex(number);
    if (index < 0)
        return false;
    size = set.FileSize(index);
    return true;
}

bool JoinRepair::CoversWhole(uint64_t& size, Md5Digest& hash) const {
    for (int32_t i = 0; i < entries.Count(); ++i) {
        if (entries[i].role == SetFileRole::Whole) {
            size = set.FileSize(i);
            hash = set.FileHash(i);
            return true;
        }
    }
    return false;
}

bool JoinRepair::Vouch(uint32_t number, const Sha256Digest& digest) {
    // Found by its number: a list of many parts costs no more than a walk along it.
    const int32_t index = PartIndex(number);
    if (index < 0)
        return false;
    entries[index].vouched = true;
    entries[index].listed = digest;
    return true;
}

void JoinRepair::Ignore(const wchar_t* why) {
    Cancel();
    ignored = true;
    note.Format(L"%s ignored (%s)", setName.Text(), why);
}

// The checksum list and the set disagree on a part: the list wins.
void JoinRepair::IgnoreForList() {
    WideString why;
    why.Format(L"it disagrees with %s.sha256", wholeName.Text());
    Ignore(why.Text());
}

void JoinRepair::Check() {
    if (phase != Phase::Loaded)
        return;
    if (partOrder.Count() == 0) {
        phase = Phase::Finished;
        return;
    }
    if (PlanLostOnly())
        return;
    CheckOnItsOwn();
}

void JoinRepair::CheckOnly() {
    if (phase == Phase::Loaded && partOrder.Count() != 0)
        CheckOnItsOwn();
    else
        Check();
}

bool JoinRepair::FindingOf(uint32_t number, PartFinding& finding) const {
    const int32_t index = PartIndex(number);
    if (index < 0)
        return false;
    const Entry& entry = entries[index];
    finding.present = entry.state != State::Lost;
    finding.whole = entry.state == State::Whole;
    finding.vouched = entry.vouched;
    finding.listAgrees = entry.listAgrees;
    finding.slices = set.SliceCount(index);
    return true;
}

bool JoinRepair::SliceBad(uint32_t number, int32_t s) const {
    const int32_t index = PartIndex(number);
    return index >= 0 && s >= 0 && s < set.SliceCount(index) &&
           badSlices[set.FirstSlice(index) + s];
}

void JoinRepair::CheckOnItsOwn() {
    // What the workers still hash is of the check given up.
    pieces.LetGo();
    blockDigests.LetGo();
    reading.Close();
    feedWhileChecking = false;
    for (Entry& entry : entries) {
        entry.state = State::Whole;
        entry.listAgrees = false;
    }
    for (bool& badSlice : badSlices)
        badSlice = false;
    presentParts = 0;
    agreeingSlices = 0;
    missingFiles.Clear();
    missingSlices.Clear();
    StartPass(Phase::Check, false);
    activity.Format(L"Checking %s...", set.FileName(partOrder[0]));
}

// Parts that are lost whole, and every other there at the size the set gives: what to rebuild is
// known before a byte is read, so the check of the others can feed the repair as it goes, and a
// set is read once before the join. Should any of them turn out otherwise, or the blocks too few,
// the parts are checked on their own after all, as they would have been.
bool JoinRepair::PlanLostOnly() {
    int32_t lost = 0;
    for (int32_t i = 0; i < set.FileCount(); ++i) {
        if (entries[i].role != SetFileRole::Part)
            return false;
        PathOf(i, filePath);
        WIN32_FILE_ATTRIBUTE_DATA found;
        if (!::GetFileAttributesExW(filePath.Text(), GetFileExInfoStandard, &found)) {
            if (::GetLastError() != ERROR_FILE_NOT_FOUND)
                return false;
            ++lost;
            continue;
        }
        const uint64_t size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || size != set.FileSize(i))
            return false;
    }
    if (lost == 0)
        return false;
    presentParts = 0;
    agreeingSlices = 0;
    missingFiles.Clear();
    missingSlices.Clear();
    for (int32_t i = 0; i < set.FileCount(); ++i) {
        PathOf(i, filePath);
        if (Exists(filePath))
            continue;
        entries[i].state = State::Lost;
        for (int32_t s = 0; s < set.SliceCount(i); ++s)
            badSlices[set.FirstSlice(i) + s] = true;
        if (!missingFiles.Append(i))
            return false;
    }
    feedWhileChecking = true;
    if (PlanRebuild())
        return true;
    CheckOnItsOwn();
    return true;
}

bool JoinRepair::BeginStream() {
    if (phase != Phase::Loaded || !stream.Begin(partOrder))
        return false;
    phase = Phase::Stream;
    return true;
}

void JoinRepair::EndStream() {
    if (phase == Phase::Stream)
        phase = Phase::Loaded;
}

bool JoinRepair::StreamChunk(uint32_t number, const void* data, uint32_t length) {
    const int32_t index = phase == Phase::Stream ? PartIndex(number) : -1;
    // A part the set does not name is passed over.
    return index < 0 ? !stream.Broken() : stream.Chunk(index, entries[index].vouched, data, length);
}

void JoinRepair::StartPass(Phase next, bool unreadLeftOut) {
    phase = next;
    file = 0;
    slice = 0;
    sliceOffset = 0;
    passBytes = 0;
    passDone = 0;
    hashOnly = false;
    pieces.BeginSlices();
    for (int32_t i = 0; i < set.FileCount(); ++i) {
        const bool unread = entries[i].state == State::Lost || entries[i].state == State::Unknown;
        passBytes +=
            (unreadLeftOut && unread) || entries[i].role != SetFileRole::Part ? 0 : set.FileSize(i);
    }
}

float JoinRepair::Progress() const {
    if (phase == Phase::Load)
        return set.LoadProgress();
    if (phase == Phase::Blocks || phase == Phase::Solve)
        return repair.Progress();
    return passBytes == 0 ? 0.0f : static_cast<float>(static_cast<double>(passDone) / passBytes);
}

JoinRepair::Step JoinRepair::Work(DWORD milliseconds) {
    switch (phase) {
    case Phase::Loaded:
    case Phase::Stream:
        return Step::Loaded;
    case Phase::Planned:
        phase = Phase::Blocks;
        return Step::Planned;
    case Phase::Finished:
        return ignored ? Step::Ignored : Step::Done;
    default:
        break;
    }
    waiting = false;
    if (SlicedWork::Run([this] { return WorkStep(); }, milliseconds) ==
        SlicedWork::Result::Failed) {
        Cancel();
        return Step::Failed;
    }
    if (phase == Phase::Finished)
        return ignored ? Step::Ignored : Step::Done;
    return phase == Phase::Loaded ? Step::Loaded : Step::Working;
}

SlicedWork::Result JoinRepair::WorkStep() {
    const Phase before = phase;
    bool going = true;
    switch (phase) {
    case Phase::Load:
        going = LoadStep();
        break;
    case Phase::Check:
        going = CheckStep();
        break;
    case Phase::Blocks:
        going = BlocksStep();
        break;
    case Phase::Feed:
        going = FeedStep();
        break;
    case Phase::Solve:
        going = SolveStep();
        break;
    case Phase::Write:
        going = WriteStep();
        break;
    case Phase::Swap:
        going = SwapStep();
        break;
    case Phase::Loaded:
    case Phase::Stream:
    case Phase::Planned:
    case Phase::Finished:
        // Where Work stops: nothing to do here.
        return SlicedWork::Result::Changed;
    }
    if (!going)
        return SlicedWork::Result::Failed;
    // Waiting for the workers ends the slice as a new phase does: the next tick goes on.
    return phase == before && !waiting ? SlicedWork::Result::More : SlicedWork::Result::Changed;
}

bool JoinRepair::Fail(DWORD code, const wchar_t* format, const wchar_t* fileName) {
    failureCode = code;
    failureText.Format(format, fileName);
    partsAbsent = false;
    return false;
}

bool JoinRepair::FailForWantOfBlocks(const wchar_t* first) {
    Fail(ERROR_INVALID_DATA, L"Part %s cannot be rebuilt", first);
    failureText.AppendFormat(L": %d more recovery blocks needed", repair.MoreNeeded());
    for (int32_t i : missingFiles) {
        PathOf(i, filePath);
        partsAbsent = partsAbsent || !Exists(filePath);
    }
    return false;
}

void JoinRepair::PathOf(int32_t index, WideString& to) const {
    if (sources && entries[index].role == SetFileRole::Part)
        sources->Locate(entries[index].number, to);
    else
        to.Format(L"%s%s", folder.Text(), set.FileName(index));
}

void JoinRepair::RebuildBeside(const WideString& outputPath) {
    rebuildFolder = outputPath;
    rebuildFolder.CutAfterLastBackslash();
}

void JoinRepair::TargetOf(int32_t index, WideString& to) const {
    const WideString& place = rebuildFolder.Length() != 0 ? rebuildFolder : folder;
    to.Format(L"%s%s", place.Text(), set.FileName(index));
}

void JoinRepair::NextFile() {
    reading.Close();
    hashOnly = false;
    ++file;
    slice = 0;
    sliceOffset = 0;
}

bool JoinRepair::OpenFile(int32_t index) {
    // Only the whole file's own parts are ever opened: their names were checked as they came.
    if (entries[index].role != SetFileRole::Part)
        return false;
    PathOf(index, filePath);
    return reading.OpenForReading(filePath.Text(), FILE_FLAG_SEQUENTIAL_SCAN);
}

bool JoinRepair::ReadPiece(uint8_t* into, uint32_t most, uint32_t& length) {
    const uint64_t left = set.SliceBytes(file, slice) - sliceOffset;
    length = static_cast<uint32_t>(left < most ? left : most);
    return reading.ReadFully(into, length);
}

void JoinRepair::TakeVerdict(const Piece& piece) {
    if (!piece.endsSlice)
        return;
    Entry& entry = entries[piece.file];
    const bool agrees = piece.byCrc ? piece.crc == set.SliceCrc(piece.slice)
                                    : piece.hash == set.SliceHash(piece.slice);
    if (agrees) {
        ++agreeingSlices;
    } else {
        badSlices[piece.slice] = true;
        // A part that could not be read to its end is lost, whatever its slices before.
        if (entry.state == State::Whole)
            entry.state = State::Damaged;
    }
    if (piece.endsPart && piece.digest && entry.vouched)
        entry.listAgrees = piece.partHash == entry.listed;
    // What was fed is of no use once a part is not what the set or the list says.
    if (feedWhileChecking &&
        (entry.state != State::Whole || (piece.endsPart && entry.vouched && !entry.listAgrees)))
        CheckOnItsOwn();
}

void JoinRepair::VerdictOf(void* self, const Piece& piece) {
    static_cast<JoinRepair*>(self)->TakeVerdict(piece);
}

bool JoinRepair::BufferForPiece(uint8_t*& into, bool& going) {
    into = gComputePool.IsStarted() || gComputePool.Start()
               ? pieces.Take(static_cast<uint32_t>(buffer.Count()))
               : nullptr;
    if (into || !gComputePool.IsStarted())
        return true;
    // All out, or no memory for one: on when one is back.
    waiting = true;
    going =
        pieces.Out() > 0 || Fail(ERROR_NOT_ENOUGH_MEMORY, L"Error reading %s", set.FileName(file));
    return false;
}

JoinRepair::Piece JoinRepair::PieceAt(const uint8_t* data, uint32_t length, int32_t s,
                                      uint32_t offset) const {
    Piece piece = {};
    piece.data = data;
    piece.length = length;
    piece.file = file;
    piece.slice = s;
    piece.offset = offset;
    return piece;
}

bool JoinRepair::CheckStep() {
    if (pieces.Error() != 0)
        return Fail(pieces.Error(), L"Error reading %s", set.FileName(pieces.ErrorFile()));
    // The parts are read on while the workers hash the pieces before, across slices and parts;
    // each slice's verdict comes with its last piece. Only the check's end waits for the pieces
    // out.
    if (pieces.Out() > 0 && file == set.FileCount()) {
        waiting = true;
        return true;
    }
    if (file == set.FileCount())
        return EndCheck();
    Entry& entry = entries[file];
    if (feedWhileChecking && entry.state == State::Lost) {
        NextFile();
        return true;
    }
    // What is not a part of this file is never opened: its slices are unknowns of the repair.
    if (entry.role != SetFileRole::Part) {
        entry.state = State::Unknown;
        for (int32_t s = 0; s < set.SliceCount(file); ++s)
            badSlices[set.FirstSlice(file) + s] = true;
        NextFile();
        return true;
    }
    if (hashOnly)
        return HashOnlyStep();
    // A file of no bytes holds no slice: nothing of it to check, nor to rebuild.
    if (set.SliceCount(file) == 0) {
        NextFile();
        return true;
    }
    const uint64_t sliceStart = static_cast<uint64_t>(slice) * set.SliceSize();
    if (!reading.IsOpen()) {
        const bool fresh = sliceStart == 0 && sliceOffset == 0;
        uint64_t size = 0;
        const bool opened = fresh && OpenFile(file) && reading.Size(size);
        presentParts += opened ? 1 : 0;
        if (!opened || size != set.FileSize(file)) {
            // Lost, unreadable, or not of the size the set gives: rebuilt whole, unless the
            // checksum list vouches for it as it is, which the digest read through tells.
            entry.state = State::Lost;
            for (int32_t s = 0; s < set.SliceCount(file); ++s)
                badSlices[set.FirstSlice(file) + s] = true;
            passDone += set.FileSize(file) - sliceStart - sliceOffset;
            if (opened && entry.vouched) {
                hashOnly = true;
                readThroughDigest.Reset();
                return true;
            }
            NextFile();
            return true;
        }
        partBegins = true;
    }
    if (!feedWhileChecking)
        activity.Format(L"Checking %s...", set.FileName(file));
    uint8_t* pieceBuffer = nullptr;
    bool going = true;
    if (!BufferForPiece(pieceBuffer, going))
        return going;
    const bool onWorkers = pieceBuffer != nullptr;
    uint8_t* into = onWorkers ? pieceBuffer : buffer.Items();
    // Fed here only without the workers, a step's work at most: the sums of many lost slices
    // cost far more than their bytes.
    const bool feedHere = feedWhileChecking && !onWorkers;
    uint32_t length = 0;
    if (!ReadPiece(into, feedHere ? feedPiece : static_cast<uint32_t>(buffer.Count()), length)) {
        reading.Close();
        entry.vouched = false; // its digest can't be told now
        return true;           // taken as lost on the next step
    }
    const int32_t s = set.FirstSlice(file) + slice;
    const uint32_t offset = static_cast<uint32_t>(sliceOffset);
    if (feedWhileChecking && !(feedHere ? repair.AddSlice(s, offset, into, length)
                                        : repair.TakeSlice(s, offset, length)))
        return Fail(::GetLastError(), L"Error rebuilding %s", set.FileName(missingFiles[0]));
    const uint32_t sliceBytes = set.SliceBytes(file, slice);
    sliceOffset += length;
    passDone += length;
    Piece piece = PieceAt(into, length, s, offset);
    piece.checked = true;
    piece.feed = feedWhileChecking && !feedHere;
    piece.byCrc = entry.vouched;
    piece.digest = entry.vouched;
    piece.startsPart = partBegins;
    piece.endsSlice = sliceOffset == sliceBytes;
    piece.endsPart = piece.endsSlice && slice + 1 == set.SliceCount(file);
    // Past the part's end, the slice's hash covers the zeros that pad it to the slice size.
    piece.padding = piece.endsSlice ? set.SliceSize() - sliceBytes : 0;
    partBegins = false;
    if (piece.endsSlice) {
        sliceOffset = 0;
        if (++slice == set.SliceCount(file))
            NextFile();
    }
    if (!onWorkers) {
        CheckPieces::Hash(piece, pieces.HashesHere());
        TakeVerdict(piece);
        return true;
    }
    return HandOut(piece);
}

bool JoinRepair::HandOut(const Piece& piece) {
    return pieces.HandOut(piece, gComputePool.Workers()) ||
           Fail(::GetLastError(), L"Error reading %s", set.FileName(piece.file));
}

bool JoinRepair::HashOnlyStep() {
    Entry& entry = entries[file];
    uint32_t got = 0;
    if (!reading.ReadSome(buffer.Items(), static_cast<uint32_t>(buffer.Count()), got)) {
        NextFile();
        return true;
    }
    if (got != 0) {
        readThroughDigest.Update(buffer.Items(), got);
        return true;
    }
    entry.listAgrees = readThroughDigest.Final() == entry.listed;
    NextFile();
    return true;
}

int32_t JoinRepair::MissingIndex(int32_t s) const {
    int32_t* begin = missingSlices.begin();
    int32_t* found = std::lower_bound(begin, missingSlices.end(), s);
    return found != missingSlices.end() && *found == s ? static_cast<int32_t>(found - begin) : -1;
}

int32_t JoinRepair::FirstToRebuild() const {
    int32_t first = missingFiles[0];
    for (int32_t i : missingFiles) {
        if (NameBefore(set.FileName(i), set.FileName(first)))
            first = i;
    }
    return first;
}

bool JoinRepair::EndCheck() {
    if (feedWhileChecking)
        return EndCheckWhileFeeding();
    for (int32_t i = 0; i < set.FileCount(); ++i) {
        const Entry& entry = entries[i];
        if (entry.role != SetFileRole::Part || entry.state == State::Whole)
            continue;
        // The checksum list vouches for the part as it is: the set speaks of other data.
        if (entry.listAgrees) {
            IgnoreForList();
            return true;
        }
        if (!missingFiles.Append(i))
            return Fail(ERROR_NOT_ENOUGH_MEMORY, L"Error rebuilding %s", set.FileName(i));
    }
    if (missingFiles.Count() == 0) {
        phase = Phase::Finished;
        return true;
    }
    // Not a slice of the parts found agrees with the set: it was made for other parts.
    if (presentParts > 0 && agreeingSlices == 0) {
        Ignore(L"no part matches it");
        return true;
    }
    return PlanRebuild();
}

// Every part there was whole and fed the repair as it was checked: on to the solve. Else they are
// checked again on their own, which finds what is wrong as ever.
bool JoinRepair::EndCheckWhileFeeding() {
    if (blockDigests.Out()) {
        waiting = true;
        return true;
    }
    if (blockDigests.Started() && !BlocksIntact()) {
        CheckOnItsOwn();
        return true;
    }
    for (int32_t i = 0; i < set.FileCount(); ++i) {
        const Entry& entry = entries[i];
        const bool rebuilt =
            std::find(missingFiles.begin(), missingFiles.end(), i) != missingFiles.end();
        if (rebuilt ? entry.state != State::Lost
                    : entry.state != State::Whole || (entry.vouched && !entry.listAgrees)) {
            CheckOnItsOwn();
            return true;
        }
    }
    feedWhileChecking = false;
    phase = Phase::Solve;
    activity.Format(L"Repairing %s...", set.FileName(FirstToRebuild()));
    return true;
}

bool JoinRepair::PlanRebuild() {
    for (int32_t s = 0; s < set.TotalSlices(); ++s) {
        if (badSlices[s] && !missingSlices.Append(s))
            return Fail(ERROR_NOT_ENOUGH_MEMORY, L"Error rebuilding %s", set.FileName(0));
    }
    const wchar_t* first = set.FileName(FirstToRebuild());
    rebuildBytes = 0;
    for (int32_t i : missingFiles)
        rebuildBytes += set.FileSize(i);
    rowPages.LetGo(); // of the rows of a plan before
    blockDigests.LetGo();
    if (!repair.Plan(set, missingSlices)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_DATA && repair.MoreNeeded() > 0)
            return FailForWantOfBlocks(first);
        if (error == ERROR_NOT_ENOUGH_MEMORY) {
            WideString needed;
            FormatByteSize(static_cast<uint64_t>(missingSlices.Count()) * set.SliceSize(), needed);
            failureCode = error;
            failureText.Format(L"Part %s cannot be rebuilt: it takes %s of memory, more than "
                               L"this program can have",
                               first, needed.Text());
            return false;
        }
        return Fail(error, L"Error rebuilding %s", first);
    }
    if (!swap.Begin(missingFiles.Count()))
        return Fail(::GetLastError(), L"Error rebuilding %s", first);
    const uint32_t share = (kStepBytes / static_cast<uint32_t>(missingSlices.Count())) & ~63u;
    feedPiece = share > kLeastFeedBytes ? share : kLeastFeedBytes;
    if (feedPiece > static_cast<uint32_t>(buffer.Count()))
        feedPiece = static_cast<uint32_t>(buffer.Count());
    // The blocks are read into the rows from the front while the workers bring their pages in.
    if (repair.RowBytes() != 0 && (gComputePool.IsStarted() || gComputePool.Start())) {
        rowPages.Start(repair.RowMemory(), repair.RowBytes());
        // Their hashes are finished on the workers while the check reads on, where it feeds.
        if (feedWhileChecking && !repair.LeaveBlockHashes())
            return Fail(::GetLastError(), L"Error rebuilding %s", first);
    }
    phase = Phase::Planned;
    activity.Format(L"Repairing %s...", first);
    return true;
}

bool JoinRepair::BlocksStep() {
    bool done = false;
    if (!repair.ReadBlocks(kStepBytes, done)) {
        if (feedWhileChecking) {
            CheckOnItsOwn();
            return true;
        }
        const wchar_t* first = set.FileName(FirstToRebuild());
        if (repair.MoreNeeded() <= 0)
            return Fail(::GetLastError(), L"Error rebuilding %s", first);
        return FailForWantOfBlocks(first);
    }
    if (!done)
        return true;
    if (repair.BlockHashesLeft() && !HashBlocksAhead()) {
        CheckOnItsOwn();
        return true;
    }
    StartPass(feedWhileChecking ? Phase::Check : Phase::Feed, true);
    return true;
}

// Each block's hash on the lane that feeds its row, ahead of any feeding: the lane hashes the
// block's bytes before it adds into them.
bool JoinRepair::HashBlocksAhead() {
    DynArray<BlockDigests::Block> blocks;
    const int32_t rows = repair.Rows();
    if (!blocks.Reserve(rows))
        return false;
    const int32_t feedLanes = CheckPieces::FeedLanes(gComputePool.Workers());
    for (int32_t r = 0; r < rows; ++r) {
        blocks.Append({repair.RowMemory() + static_cast<size_t>(r) * set.SliceSize(),
                       set.SliceSize(), repair.BlockHashBegun(r),
                       CheckPieces::FeedLaneOf(r, rows, feedLanes)});
    }
    return blockDigests.Start(blocks);
}

bool JoinRepair::BlocksIntact() {
    bool intact = blockDigests.Error() == 0;
    for (int32_t r = 0; intact && r < repair.Rows(); ++r)
        intact = blockDigests.Hash(r) == repair.BlockHashWanted(r);
    blockDigests.LetGo();
    return intact;
}

bool JoinRepair::FeedStep() {
    if (pieces.Error() != 0)
        return Fail(pieces.Error(), L"Error reading %s", set.FileName(pieces.ErrorFile()));
    while (file < set.FileCount() &&
           (entries[file].state == State::Lost || entries[file].state == State::Unknown ||
            set.SliceCount(file) == 0))
        ++file;
    if (file == set.FileCount()) {
        // The sums are whole once every piece out is back.
        if (pieces.Out() > 0) {
            waiting = true;
            return true;
        }
        phase = Phase::Solve;
        return true;
    }
    if (!reading.IsOpen() && !OpenFile(file))
        return Fail(::GetLastError(), L"Error opening %s", set.FileName(file));
    // The damaged slices of a damaged file are what is rebuilt: only its whole ones count.
    const int32_t s = set.FirstSlice(file) + slice;
    const uint64_t sliceStart = static_cast<uint64_t>(slice) * set.SliceSize();
    const uint32_t sliceBytes = set.SliceBytes(file, slice);
    if (badSlices[s]) {
        if (!reading.Seek(sliceStart + sliceBytes))
            return Fail(::GetLastError(), L"Error reading %s", set.FileName(file));
        passDone += sliceBytes;
        sliceOffset = sliceBytes;
    } else {
        // On the workers in whole pieces, each lane its rows of the sums; here a step's work at
        // a time.
        uint8_t* pieceBuffer = nullptr;
        bool going = true;
        if (!BufferForPiece(pieceBuffer, going))
            return going;
        const bool onWorkers = pieceBuffer != nullptr;
        uint8_t* into = onWorkers ? pieceBuffer : buffer.Items();
        const uint32_t offset = static_cast<uint32_t>(sliceOffset);
        uint32_t length = 0;
        if (!ReadPiece(into, onWorkers ? static_cast<uint32_t>(buffer.Count()) : feedPiece, length))
            return Fail(::GetLastError(), L"Error reading %s", set.FileName(file));
        if (!(onWorkers ? repair.TakeSlice(s, offset, length)
                        : repair.AddSlice(s, offset, into, length)))
            return Fail(::GetLastError(), L"Error rebuilding %s", set.FileName(missingFiles[0]));
        sliceOffset += length;
        passDone += length;
        if (onWorkers) {
            Piece piece = PieceAt(into, length, s, offset);
            piece.feed = true;
            if (!HandOut(piece))
                return false;
        }
    }
    if (sliceOffset < sliceBytes)
        return true;
    sliceOffset = 0;
    if (++slice == set.SliceCount(file))
        NextFile();
    return true;
}

bool JoinRepair::SolveStep() {
    bool done = false;
    if (!repair.Solve(kStepBytes, done))
        return Fail(::GetLastError(), L"Error rebuilding %s", set.FileName(missingFiles[0]));
    if (done) {
        phase = Phase::Write;
        file = 0;
        slice = 0;
        sliceOffset = 0;
        passBytes = rebuildBytes;
        passDone = 0;
    }
    return true;
}

// The rebuilt part goes to a new name beside its place first; the part itself, damaged, is read
// where it is for its whole slices.
bool JoinRepair::OpenTemporary(int32_t index) {
    const int32_t target = missingFiles[index];
    const wchar_t* fileName = set.FileName(target);
    if (entries[target].state == State::Damaged && !OpenFile(target))
        return Fail(::GetLastError(), L"Error opening %s", fileName);
    TargetOf(target, filePath);
    if (!swap.CreateTemporary(index, filePath, writing))
        return Fail(::GetLastError(), L"Error opening %s", fileName);
    fileHash.Reset();
    partDigest.Reset();
    slice = 0;
    sliceOffset = 0;
    // A part rebuilt whole is in memory whole: the workers hash it while it is written here.
    DynArray<RebuiltDigests::Bytes> bytes;
    for (int32_t k = 0; k < set.SliceCount(target); ++k) {
        const int32_t rebuilt = MissingIndex(set.FirstSlice(target) + k);
        if (rebuilt < 0 || !bytes.Append({repair.RebuiltSlice(rebuilt), set.SliceBytes(target, k)}))
            return true;
    }
    if (gComputePool.IsStarted() || gComputePool.Start())
        rebuiltDigests.Start(bytes, entries[target].vouched);
    return true;
}

bool JoinRepair::WriteStep() {
    if (file == missingFiles.Count()) {
        phase = Phase::Swap;
        return true;
    }
    const int32_t target = missingFiles[file];
    const wchar_t* fileName = set.FileName(target);
    activity.Format(L"Repairing %s...", fileName);
    if (!writing.IsOpen() && !OpenTemporary(file))
        return false;
    if (slice == set.SliceCount(target))
        return EndWrite(); // written, and its hashes were not back
    const int32_t s = set.FirstSlice(target) + slice;
    const uint64_t sliceStart = static_cast<uint64_t>(slice) * set.SliceSize();
    const uint32_t length = set.SliceBytes(target, slice);
    const uint32_t rest = length - static_cast<uint32_t>(sliceOffset);
    // Written, perhaps read first and hashed twice, on this thread: a step's bytes at most.
    const uint32_t n = rest < kStepBytes ? rest : kStepBytes;
    const int32_t rebuilt = MissingIndex(s);
    const uint8_t* data = buffer.Items();
    if (rebuilt >= 0) {
        data = repair.RebuiltSlice(rebuilt) + sliceOffset;
    } else {
        // A whole slice of the damaged file, copied over as it is.
        if (!reading.ReadAt(sliceStart + sliceOffset, buffer.Items(), n))
            return Fail(::GetLastError(), L"Error reading %s", fileName);
    }
    if (!writing.WriteFully(data, n))
        return Fail(::GetLastError(), L"Error writing %s", fileName);
    if (!rebuiltDigests.Started()) {
        fileHash.Update(data, n);
        if (entries[target].vouched)
            partDigest.Update(data, n);
    }
    sliceOffset += n;
    passDone += n;
    if (sliceOffset < length)
        return true;
    sliceOffset = 0;
    if (++slice < set.SliceCount(target))
        return true;
    return EndWrite();
}

// The rebuilt file against the set's own hash of it, and the checksum list's where it has one.
bool JoinRepair::EndWrite() {
    const int32_t target = missingFiles[file];
    const Entry& entry = entries[target];
    if (rebuiltDigests.Out()) {
        waiting = true;
        return true;
    }
    const bool aside = rebuiltDigests.Started();
    if (aside && rebuiltDigests.Error() != 0)
        return Fail(rebuiltDigests.Error(), L"Error rebuilding %s", set.FileName(target));
    const Md5Digest hash = aside ? rebuiltDigests.Hash() : fileHash.Finish();
    const Sha256Digest digest = aside ? rebuiltDigests.Digest() : partDigest.Final();
    rebuiltDigests.LetGo();
    reading.Close();
    const bool whole = hash == set.FileHash(target);
    if (!writing.Close() || !whole) {
        const DWORD error = whole ? ::GetLastError() : ERROR_CRC;
        return Fail(error, L"Part %s could not be rebuilt", set.FileName(target));
    }
    if (entry.vouched && digest != entry.listed) {
        IgnoreForList();
        return true;
    }
    ++file;
    slice = 0;
    return true;
}

// Every rebuilt part proven: each takes its part's place.
bool JoinRepair::SwapStep() {
    if (!swap.Swap())
        return Fail(::GetLastError(), swap.FailedStep(),
                    set.FileName(missingFiles[swap.FailedAt()]));
    phase = Phase::Finished;
    return NoteRebuilt();
}

bool JoinRepair::NoteRebuilt() {
    rebuiltParts.Clear();
    for (int32_t i : missingFiles) {
        if (!rebuiltParts.Append(entries[i].number))
            return Fail(ERROR_NOT_ENOUGH_MEMORY, L"Error renaming %s", set.FileName(i));
    }
    std::sort(rebuiltParts.begin(), rebuiltParts.end());
    return true;
}

void JoinRepair::Cancel() {
    pieces.LetGo();
    blockDigests.LetGo();
    rebuiltDigests.LetGo();
    rowPages.LetGo();
    reading.Close();
    writing.Close();
    swap.RemoveTemporaries();
    phase = Phase::Finished;
}
