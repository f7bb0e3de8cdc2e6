#pragma once

#include "ops/Operation.h"

// Cuts the file named on the command line into parts of the size chosen in the window.
class SplitOperation : public Operation {
public:
    explicit SplitOperation(OperationDisplay& window) : Operation(window) {}

    void Start(const WideString& commandLinePath) override;
    void OnPartSizeChanged() override;
    void OnCommand(UINT id) override;
    void Abort() override;
    void PrepareIoPair(IoPair& pair) override;
    void Finish() override;

    uint64_t PartSize() const { return partSize; }

private:
    void ShowPartCount(UINT noPartSizeFlags);
    void BeginSplitting();
    void SelectParts();

    uint64_t partSize = 0;
};
