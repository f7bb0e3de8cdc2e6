#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/PartNaming.h"

#include <cstdint>

// Where the parts of a join lie. They are looked for beside the whole file first, then in each
// folder the user named (a disc, a stick, another folder) in the order named: each part in the
// first that holds it. Parts that a repair rebuilt away from the others are taken from where it
// put them. When the set names more parts than these hold, the user is asked for the folder that
// holds the next one. The parts of one folder found in one go are a run.
class PartSources {
public:
    PartSources() = default;
    PartSources(const PartSources&) = delete;
    PartSources& operator=(const PartSources&) = delete;

    // The parts lie beside wholePath, the whole file named wholeName, and nowhere else yet.
    // False when memory runs out.
    bool Begin(const wchar_t* wholePath, const wchar_t* wholeName);
    // The search starts again from the first part; the folders named stay known.
    void Restart();
    // The set names part `number`: the join is not complete before it.
    void Expect(uint32_t number) { expected = number > expected ? number : expected; }
    uint32_t Expected() const { return expected; }
    // The highest part number of any folder a run was found in since the search started.
    uint32_t HighestSeen() const { return highestSeen; }
    // The folder the user is told the next part is not in: that of the last run, or the one
    // last named.
    const WideString& Folder() const { return folder; }
    // The user named this folder: it is looked in from now on, after those known. added: it was
    // not known. False when memory runs out.
    bool TakeFolder(const WideString& named, bool& added);
    // The parts of these numbers (rising) are taken from beside rebuiltWhole, and from nowhere
    // else. Both must outlive this object.
    void TakeRebuilt(const DynArray<uint32_t>& numbers, const WideString& rebuiltWhole);
    // The path of part `number` in the first known folder that holds it, else beside the whole
    // file. False when memory runs out.
    bool Locate(uint32_t number, WideString& partPath) const;
    // Looks for the parts from number `first` on, each where it is found first, up to the first
    // that none holds, and visits each with its place in the whole file, counted from `offset`.
    // A known sectorSize grows to that of any folder named. found covers the parts. False as
    // FindParts.
    bool Find(uint32_t first, uint64_t offset, uint32_t& sectorSize, PartVisitor visit,
              void* context, FoundParts& found);
    // The index of the first part of the last search that found any: the parts before it may
    // have gone with the disc that held them.
    int32_t RunStart() const { return runStart; }

private:
    // Where the whole file would be in that folder; false where that can't be (a drive without
    // its disc) or memory runs out.
    bool WholeIn(const WideString& in, WideString& wholePath) const;
    // The run from `first` to `last` at most in the first known folder that holds `first`.
    bool FindInFolders(uint32_t first, uint32_t last, uint64_t offset, uint32_t sectorSize,
                       PartVisitor visit, void* context, FoundParts& run);

    WideString name;
    DynArray<WideString> folders; // the first is the whole file's
    WideString folder;
    const DynArray<uint32_t>* rebuilt = nullptr;
    const WideString* rebuiltPath = nullptr;
    uint32_t expected = 0;
    uint32_t highestSeen = 0;
    int32_t runStart = 0;
};
