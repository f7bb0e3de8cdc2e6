#include "ui/HandOverRecord.h"

#include <cstring>
#include <new>

namespace {

void PutUint(uint8_t* at, uint32_t value, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetUint(const uint8_t* at, int32_t count) {
    uint32_t value = 0;
    for (int32_t i = 0; i < count; ++i)
        value |= static_cast<uint32_t>(at[i]) << (8 * i);
    return value;
}

bool IsWork(uint32_t mode) {
    return mode == static_cast<uint32_t>(RunMode::Split) ||
           mode == static_cast<uint32_t>(RunMode::Join);
}

} // namespace

bool HandOverRecord::Make(RunMode newMode, const WideString& newPath) {
    const uint32_t units = newPath.Length();
    if (!IsWork(static_cast<uint32_t>(newMode)) || units == 0 || units > kMostPathUnits) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const uint32_t total = kHeaderSize + units * sizeof(wchar_t);
    bytes.reset(new (std::nothrow) uint8_t[total]);
    if (!bytes) {
        size = 0;
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    PutUint(bytes.get(), kTag, 4);
    PutUint(bytes.get() + 4, kVersion, 2);
    PutUint(bytes.get() + 6, static_cast<uint32_t>(newMode), 2);
    PutUint(bytes.get() + 8, units, 4);
    for (uint32_t i = 0; i < units; ++i)
        PutUint(bytes.get() + kHeaderSize + 2 * i, newPath.Text()[i], 2);
    size = total;
    mode = newMode;
    path.Assign(newPath.Text(), units);
    return true;
}

bool HandOverRecord::Read(const COPYDATASTRUCT& data) {
    const auto* in = static_cast<const uint8_t*>(data.lpData);
    if (data.dwData != kTag || in == nullptr || data.cbData < kHeaderSize)
        return false;
    const uint32_t units = GetUint(in + 8, 4);
    if (GetUint(in, 4) != kTag || GetUint(in + 4, 2) != kVersion || !IsWork(GetUint(in + 6, 2)) ||
        units == 0 || units > kMostPathUnits || data.cbData != kHeaderSize + units * 2)
        return false;
    WideString text;
    wchar_t* out = text.Reserve(units);
    if (out == nullptr)
        return false;
    for (uint32_t i = 0; i < units; ++i) {
        out[i] = static_cast<wchar_t>(GetUint(in + kHeaderSize + 2 * i, 2));
        // A terminator inside would cut the path short of what was counted.
        if (out[i] == 0)
            return false;
    }
    path.Assign(out, units);
    mode = static_cast<RunMode>(GetUint(in + 6, 2));
    return path.Length() == units;
}

COPYDATASTRUCT HandOverRecord::Message() const {
    COPYDATASTRUCT message{};
    message.dwData = kTag;
    message.cbData = size;
    message.lpData = bytes.get();
    return message;
}
