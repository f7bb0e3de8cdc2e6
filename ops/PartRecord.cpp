#include "ops/PartRecord.h"

PartRecord::PartRecord(DWORD accessMode, DWORD creation, const WideString& partPath,
                       uint64_t partOffset, uint64_t partSize)
    : access(accessMode), disposition(creation), path(partPath), size(partSize), offset(partOffset),
      remaining(partSize), issued(0), completed(0) {}
