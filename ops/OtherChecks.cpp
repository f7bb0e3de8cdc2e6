#include "ops/OtherChecks.h"

#include "ops/ChecksumListFile.h"
#include "ops/PartNaming.h"

#include <cstring>

namespace {

constexpr const wchar_t* kSuffixes[] = {L".sfv", L".md5", L".sha1", L".crc"};
constexpr OtherKind kKinds[] = {OtherKind::Crc32, OtherKind::Md5, OtherKind::Sha1};

} // namespace

void OtherChecks::Read(const wchar_t* wholePath, const wchar_t* wholeName) {
    for (int32_t i = 0; i <= kLists; ++i) {
        paths[i].Format(L"%s%s", wholePath, kSuffixes[i]);
        DynArray<char> text;
        ListProblem problem = ListProblem::None;
        found[i] = ReadListText(paths[i].Text(), text, problem);
        if (!found[i])
            continue;
        const char* bytes = text.Items() ? text.Items() : "";
        const size_t length = static_cast<size_t>(text.Count());
        if (i == kLists) {
            if (problem != ListProblem::None)
                crcList.Refuse(problem);
            else
                crcList.Parse(bytes, length, wholeName);
        } else if (problem != ListProblem::None) {
            lists[i].Refuse(problem);
        } else {
            lists[i].Parse(kKinds[i], bytes, length, wholeName);
        }
    }
}

bool OtherChecks::AnyUsed() const {
    for (int32_t i = 0; i < kLists; ++i) {
        if (Used(i))
            return true;
    }
    return CrcUsed();
}

bool OtherChecks::AnyRefused() const {
    for (int32_t i = 0; i < kLists; ++i) {
        if (found[i] && !Used(i))
            return true;
    }
    return found[kLists] && !CrcUsed();
}

uint32_t OtherChecks::FirstListedAfter(uint32_t count) const {
    uint32_t first = 0;
    for (int32_t i = 0; i < kLists; ++i) {
        if (!Used(i))
            continue;
        for (const OtherEntry& entry : lists[i].Parts()) {
            if (entry.part > count && (first == 0 || entry.part < first))
                first = entry.part;
        }
    }
    return first;
}

uint32_t OtherChecks::HighestListed() const {
    uint32_t highest = 0;
    for (int32_t i = 0; i < kLists; ++i) {
        for (const OtherEntry& entry : lists[i].Parts())
            highest = Used(i) && entry.part > highest ? entry.part : highest;
    }
    return highest;
}

uint32_t OtherChecks::PartLines() const {
    uint32_t lines = 0;
    for (int32_t i = 0; i < kLists; ++i)
        lines += Used(i) ? static_cast<uint32_t>(lists[i].Parts().Count()) : 0;
    return lines;
}

bool OtherChecks::NamesPart(uint32_t number) const {
    for (int32_t i = 0; i < kLists; ++i) {
        if (Used(i) && lists[i].ForPart(number))
            return true;
    }
    return false;
}

void OtherChecks::AppendNames(WideString& text) const {
    for (int32_t i = 0; i <= kLists; ++i) {
        if (i == kLists ? CrcUsed() : Used(i))
            text.AppendFormat(L"%s%s", text.Length() != 0 ? L", " : L"", kSuffixes[i]);
    }
}

void OtherChecks::AppendOutcome(WideString& text, bool verified, int32_t partCount) const {
    for (int32_t i = 0; i <= kLists; ++i) {
        if (!found[i])
            continue;
        WideString fileName;
        FileNameOf(paths[i].Text(), fileName);
        const bool used = i == kLists ? CrcUsed() : Used(i);
        if (used) {
            const int32_t listed = i == kLists ? partCount : lists[i].Parts().Count();
            if (!verified)
                continue;
            if (listed == partCount || (i != kLists && lists[i].HasWhole()))
                text.AppendFormat(L"Verified by %s; ", fileName.Text());
            else
                text.AppendFormat(L"Verified by %s for %d of %d parts; ", fileName.Text(), listed,
                                  partCount);
            continue;
        }
        WideString problem;
        if (i == kLists)
            crcList.DescribeProblem(problem);
        else
            lists[i].DescribeProblem(problem);
        text.AppendFormat(L"%s ignored (%s); ", fileName.Text(), problem.Text());
    }
}

bool OtherChecks::Begin(int32_t partCount) {
    part = Running{};
    whole = Running{};
    for (int32_t i = 0; i < kLists; ++i) {
        partWanted[i] = Used(i) && lists[i].Parts().Count() != 0;
        wholeWanted[i] = Used(i) && lists[i].HasWhole();
    }
    wholeWanted[0] = wholeWanted[0] || CrcUsed();
    damaged.Clear();
    if (!damaged.ResizeUp(partCount))
        return false;
    for (uint8_t& flag : damaged)
        flag = 0;
    return true;
}

void OtherChecks::Update(Running& running, const bool (&kinds)[kLists], const uint8_t* data,
                         uint32_t length) {
    if (kinds[0])
        running.crc.Update(data, length);
    if (kinds[1])
        running.md5.Update(data, length);
    if (kinds[2])
        running.sha1.Update(data, length);
}

OtherCheck OtherChecks::Result(OtherKind kind, Running& running) {
    OtherCheck check{};
    if (kind == OtherKind::Crc32) {
        const uint32_t value = running.crc.Value();
        for (int i = 0; i < 4; ++i)
            check.bytes[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        running.crc.Reset();
    } else if (kind == OtherKind::Md5) {
        const Md5Digest digest = running.md5.Finish();
        memcpy(check.bytes, digest.bytes, sizeof(digest.bytes));
    } else {
        const Sha1Digest digest = running.sha1.Finish();
        memcpy(check.bytes, digest.bytes, sizeof(digest.bytes));
    }
    return check;
}

void OtherChecks::Feed(const uint8_t* data, uint32_t length, int32_t endsPart) {
    Update(part, partWanted, data, length);
    Update(whole, wholeWanted, data, length);
    if (endsPart < 0)
        return;
    const uint32_t number = static_cast<uint32_t>(endsPart) + 1;
    bool bad = false;
    for (int32_t i = 0; i < kLists; ++i) {
        if (!partWanted[i])
            continue;
        const OtherCheck got = Result(kKinds[i], part);
        const OtherCheck* listed = lists[i].ForPart(number);
        bad = bad || (listed && !SameCheck(kKinds[i], got, *listed));
    }
    if (endsPart < damaged.Count())
        damaged[endsPart] = bad ? 1 : 0;
}

bool OtherChecks::WholeNamed() const {
    for (int32_t i = 0; i < kLists; ++i) {
        if (Used(i) && lists[i].HasWhole())
            return true;
    }
    return CrcUsed();
}

bool OtherChecks::WholeDamaged(uint64_t size) {
    const uint32_t wholeCrc = whole.crc.Value();
    bool bad = false;
    for (int32_t i = 0; i < kLists; ++i) {
        if (!Used(i) || !lists[i].HasWhole())
            continue;
        const OtherCheck got = Result(kKinds[i], whole);
        bad = bad || !SameCheck(kKinds[i], got, lists[i].Whole());
    }
    if (CrcUsed())
        bad = bad || size != crcList.Size() || wholeCrc != crcList.Crc();
    return bad;
}
