#pragma once

#include "ops/ChecksumList.h"
#include "ops/Operation.h"

// Joins the parts "%s.001", "%s.002", ... of a whole file back into it, starting at once.
class JoinOperation : public Operation {
public:
    explicit JoinOperation(OperationDisplay& window) : Operation(window) {}

    void Start(const WideString& commandLinePath) override;
    void OnPartSizeChanged() override {}
    void OnCommand(UINT id) override;
    void Abort() override;
    void PrepareIoPair(IoPair& pair) override;
    void Finish() override;

protected:
    bool OnPartHashed(int32_t index, const Sha256Digest& digest) override;

private:
    // Reads "<name>.sha256" beside the parts when there is one. False when the join must not
    // go on (a part it lists is missing; reported).
    bool ReadList();
    // The whole file against the list, when the list has a line for it.
    bool CheckWhole();
    // Cuts what the last sector-rounded write put past the end of the output.
    bool CutOutput();
    // Whether every part still has the size it was listed with.
    bool PartsAreAsListed() const;
    // The status bar: the path, with what became of the list.
    void ShowListOutcome();

    ChecksumList list;
    WideString listPath;
    bool listFound = false; // a list lies beside the parts, used or not
    bool listUsed = false;  // and it is trusted: the parts are checked against it
    int32_t listCursor = 0; // the first entry of the list not yet passed by the hashing
};
