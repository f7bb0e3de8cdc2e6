#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/OtherList.h"
#include "ops/WholeCrcList.h"
#include "recovery/Crc32.h"
#include "recovery/Md5.h"
#include "recovery/Sha1.h"

#include <cstdint>

// The checksum files other tools leave beside the parts of "<name>": "<name>.sfv", "<name>.md5",
// "<name>.sha1" and "<name>.crc". A join reads them, hashes each chunk for them on one worker
// lane as it moves, and asks afterwards which parts and whether the whole file agree. A file
// that is refused is left out whole and said so.
class OtherChecks {
public:
    OtherChecks() = default;
    OtherChecks(const OtherChecks&) = delete;
    OtherChecks& operator=(const OtherChecks&) = delete;

    // Reads whichever of the files lie beside wholePath, whose name is wholeName.
    void Read(const wchar_t* wholePath, const wchar_t* wholeName);
    // Some file was taken: the data must be hashed for it.
    bool AnyUsed() const;
    // Some file lies there but was refused: the parts it would check stay unchecked.
    bool AnyRefused() const;
    // The lowest part above count that a taken file names, or 0.
    uint32_t FirstListedAfter(uint32_t count) const;
    // The highest part number a taken file names (0: none), and how many part lines they have.
    uint32_t HighestListed() const;
    uint32_t PartLines() const;
    // A taken file names part `number`.
    bool NamesPart(uint32_t number) const;
    // ", .sfv" and the like, for each file taken, in the order they are read.
    void AppendNames(WideString& text) const;
    // "Verified by <file>; " for each taken file once the join of partCount parts is done
    // (verified), with "for N of M parts" when it leaves some out and not the whole file, and
    // "<file> ignored (<why>); " for each refused one.
    void AppendOutcome(WideString& text, bool verified, int32_t partCount) const;

    // Before the chunks go to the workers: a verdict slot for each of partCount parts.
    bool Begin(int32_t partCount);
    // On the one lane that hashes for the files, chunk after chunk in file order: endsPart is the
    // index of the part the chunk ends, or -1. Empty parts are ended before any chunk goes out.
    void Feed(const uint8_t* data, uint32_t length, int32_t endsPart);
    // Once the part's last chunk came back: whether a taken file says otherwise.
    bool PartDamaged(int32_t index) const { return index < damaged.Count() && damaged[index]; }
    // A taken file names the whole file.
    bool WholeNamed() const;
    // Once every chunk came back: whether a taken file says otherwise of the whole file.
    bool WholeDamaged(uint64_t size);

private:
    static constexpr int32_t kLists = 3; // .sfv, .md5, .sha1
    struct Running {
        Crc32 crc;
        Md5 md5;
        Sha1 sha1;
    };
    static void Update(Running& running, const bool (&kinds)[kLists], const uint8_t* data,
                       uint32_t length);
    bool Used(int32_t index) const {
        return found[index] && lists[index].Problem() == ListProblem::None;
    }
    bool CrcUsed() const { return found[kLists] && crcList.Problem() == ListProblem::None; }
    // What the running hashes came to for the list's kind.
    static OtherCheck Result(OtherKind kind, Running& running);

    WideString paths[kLists + 1];
    bool found[kLists + 1] = {};
    OtherList lists[kLists];
    WholeCrcList crcList;
    // Worker-owned while chunks are out.
    Running part;
    Running whole;
    // Per kind: whether the parts, and the whole file, are hashed by it.
    bool partWanted[kLists] = {};
    bool wholeWanted[kLists] = {};
    DynArray<uint8_t> damaged;
};
