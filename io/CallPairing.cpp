#include "io/CallPairing.h"

void CallPairing::OnPacket(uint32_t call) {
    // A call after the last ended one is the call in progress (the numbers wrap, skipping 0).
    if (call != 0 && static_cast<int32_t>(call - lastEnded) > 0)
        packetInCall = call;
}

bool CallPairing::OnCallEnded(uint32_t call, DWORD refusal) {
    bool packetCame = packetInCall == call;
    // Whatever the slot held belongs to this call or to an earlier one: it is done with.
    packetInCall = 0;
    lastEnded = call;
    return refusal != 0 && !packetCame;
}
