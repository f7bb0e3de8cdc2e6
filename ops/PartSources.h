#pragma once

#include "app/WideString.h"
#include "ops/PartNaming.h"

#include <cstdint>

// Where the parts of a join lie. They are looked for beside the whole file first; when the set
// names more parts than lie there, the user names the folder (a disc, a stick) that holds the
// next ones, and they are looked for there from that number on, until they run out again. The
// parts of one folder found in one go are a run.
class PartSources {
public:
    PartSources() = default;
    PartSources(const PartSources&) = delete;
    PartSources& operator=(const PartSources&) = delete;

    // The first run lies beside wholePath, the whole file named wholeName. False when memory
    // runs out.
    bool Begin(const wchar_t* wholePath, const wchar_t* wholeName);
    // The set names part `number`: the join is not complete before it.
    void Expect(uint32_t number) { expected = number > expected ? number : expected; }
    uint32_t Expected() const { return expected; }
    // Where the next part is looked for: the folder of the last run, or the one last named.
    const WideString& Folder() const { return folder; }
    // The next part is looked for in this folder; false when memory runs out.
    bool TakeFolder(const WideString& named);
    // Looks for the parts from number `first` on in the folder, up to the first that is not
    // there, and visits each with its place in the whole file, counted from `offset`. found
    // covers the parts of this run (its totalSize their bytes, aligned whether each starts on a
    // sector boundary of the whole file). A part of a higher number beside them is expected too.
    // False as FindParts.
    bool FindRun(uint32_t first, uint64_t offset, uint32_t sectorSize, PartVisitor visit,
                 void* context, FoundParts& found);
    // The index of the first part of the last run found: the parts before it may have gone with
    // the disc that held them.
    int32_t RunStart() const { return runStart; }

private:
    WideString name;
    WideString folder;
    uint32_t expected = 0;
    int32_t runStart = 0;
};
