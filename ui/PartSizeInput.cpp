#include "ui/PartSizeInput.h"

uint64_t PartSizeFromInput(const wchar_t* digits, int unitIndex) {
    if (digits == nullptr || *digits == 0 || unitIndex < 0 || unitIndex >= kSizeUnitCount)
        return 0;
    uint64_t number = 0;
    for (const wchar_t* p = digits; *p; ++p) {
        if (*p < L'0' || *p > L'9')
            return 0;
        const uint64_t digit = static_cast<uint64_t>(*p - L'0');
        if (number > (UINT64_MAX - digit) / 10)
            return 0;
        number = number * 10 + digit;
    }
    const int shift = 10 * unitIndex;
    if (shift != 0 && number > (UINT64_MAX >> shift))
        return 0;
    return number << shift;
}

PartSizeShown PartSizeForDisplay(uint64_t bytes) {
    if (bytes == 0)
        return {0, kSizeUnitMB};
    int unit = 0;
    while (unit < kSizeUnitCount - 1 && bytes >= 1024 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return {bytes, unit};
}

uint32_t PartCountFromInput(const wchar_t* digits) {
    const uint64_t count = PartSizeFromInput(digits, kSizeUnitByte);
    return count <= UINT32_MAX ? static_cast<uint32_t>(count) : 0;
}
