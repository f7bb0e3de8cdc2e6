#pragma once

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

private:
    // Cuts what the last sector-rounded write put past the end of the output.
    bool CutOutput();
    // Whether every part still has the size it was listed with.
    bool PartsAreAsListed() const;
};
