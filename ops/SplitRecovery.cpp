#include "ops/SplitRecovery.h"

#include "ops/PartNaming.h"
#include "ops/Volume.h"
#include "toolkit/PageMemory.h"

namespace {

// Rounded up without adding first, which could wrap for sizes near 2^64.
uint64_t CeilDiv(uint64_t n, uint64_t d) {
    return n / d + (n % d != 0 ? 1 : 0);
}

} // namespace

bool SplitRecovery::PlanSlices(uint64_t totalSize, uint64_t partSize, uint32_t percent,
                               uint64_t budget, SlicePlan& plan) {
    plan = SlicePlan();
    if (totalSize == 0 || partSize == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Only the file's bytes are sliced: a part size beyond the file makes one part of it.
    const uint64_t part = partSize < totalSize ? partSize : totalSize;
    const uint64_t fullParts = totalSize / part;
    const uint64_t rest = totalSize % part;
    constexpr uint64_t kMostSlices = static_cast<uint64_t>(Par2Creator::kMaxSlices);
    // The parts alone may be far more than a set holds: checked before they are multiplied.
    uint64_t previous = 0;
    for (uint64_t pieces = CeilDiv(part, kMaxSliceBytes);
         fullParts <= kMostSlices && pieces <= kMostSlices; ++pieces) {
        const uint64_t slice = (CeilDiv(part, pieces) + 3) & ~uint64_t{3};
        if (slice == previous)
            continue;
        previous = slice;
        const uint64_t slices = fullParts * CeilDiv(part, slice) + CeilDiv(rest, slice);
        if (slices > kMostSlices)
            break;
        const int32_t blocks = BlocksFor(static_cast<int32_t>(slices), percent);
        const SlicePlan tried = {static_cast<uint32_t>(slice), static_cast<int32_t>(slices), blocks,
                                 static_cast<uint64_t>(blocks) * slice};
        if (tried.memory <= budget) {
            plan = tried;
            return true;
        }
        if (plan.sliceSize == 0 || tried.memory < plan.memory)
            plan = tried;
    }
    ::SetLastError(plan.sliceSize == 0 ? ERROR_NOT_SUPPORTED : ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

int32_t SplitRecovery::BlocksFor(int32_t sliceCount, uint32_t percent) {
    const int64_t blocks = (static_cast<int64_t>(sliceCount) * percent + 99) / 100;
    return blocks < 1 ? 1 : static_cast<int32_t>(blocks);
}

bool SplitRecovery::Plan(const DynArray<PartRecord>& parts, uint64_t partSize, uint32_t percent,
                         uint64_t budget) {
    files.Drop();
    headsRead = 0;
    if (parts.Count() == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const PartRecord& last = parts[parts.Count() - 1];
    SlicePlan plan;
    const bool fits = PlanSlices(last.offset + last.size, partSize, percent, budget, plan);
    memoryNeeded = plan.memory;
    blockCount = plan.blockCount;
    if (!fits)
        return false;
    DynArray<WideString> names;
    DynArray<const wchar_t*> nameTexts;
    DynArray<uint64_t> sizes;
    if (!names.Reserve(parts.Count()) || !nameTexts.Reserve(parts.Count()) ||
        !sizes.Reserve(parts.Count()))
        return false;
    for (const PartRecord& part : parts) {
        WideString partName;
        if (!FileNameOf(part.path.Text(), partName) || !names.Append(partName))
            return false;
        sizes.Append(part.size);
    }
    for (const WideString& partName : names)
        nameTexts.Append(partName.Text());
    return creator.Start(nameTexts.Items(), sizes.Items(), parts.Count(), plan.sliceSize,
                         plan.blockCount);
}

bool SplitRecovery::ReadHeads(HANDLE source, const DynArray<PartRecord>& parts, int32_t most) {
    constexpr DWORD kHead = Par2Creator::kHeadBytes;
    PageMemory buffer(kHead);
    KernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!buffer.Get() || !done.IsSet())
        return false;
    for (const int32_t end = headsRead + most; headsRead < parts.Count() && headsRead < end;
         ++headsRead) {
        const PartRecord& part = parts[headsRead];
        OVERLAPPED overlapped = {};
        overlapped.Offset = static_cast<DWORD>(part.offset);
        overlapped.OffsetHigh = static_cast<DWORD>(part.offset >> 32);
        // The low bit keeps the completion off the port: nobody there expects this read.
        overlapped.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(done.Get()) | 1);
        DWORD got = 0;
        if (!::ReadFile(source, buffer.Get(), kHead, nullptr, &overlapped) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return false;
        if (!::GetOverlappedResult(source, &overlapped, &got, TRUE))
            return false;
        const DWORD want = part.size < kHead ? static_cast<DWORD>(part.size) : kHead;
        if (got < want) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        if (!creator.SetFileHead(headsRead, buffer.Get(), want))
            return false;
    }
    return true;
}

void SplitRecovery::SetFor(const WideString& wholePath) {
    path.Assign(wholePath.Text(), wholePath.Length());
}

bool SplitRecovery::Create() {
    // A path that could not be kept would put the files in the current folder.
    if (path.Length() == 0) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return files.Create(creator, path.Text());
}

bool SplitRecovery::SpaceNeeded(uint32_t unit, uint64_t& bytes) const {
    bytes = 0;
    for (int32_t i = 0; i < creator.OutputCount(); ++i)
        bytes += SpaceTaken(creator.OutputBytes(i), unit);
    return true;
}
