#pragma once

#include <windows.h>

#include <cstdint>

// Decides, on the completion thread, which of the two events of a read or write delivers it:
// the system's packet, or the I/O thread's end-of-call packet, which carries the error when the
// system refused the call at once. Some systems (Wine) post a packet for some refused calls,
// others (Windows) never do; every call is delivered exactly once all the same.
//
// One thread makes the calls, one after the other, numbered 1, 2, 3 and so on, and posts the end
// of each before it makes the next; the port hands packets out in the order they were posted.
// So the packet of a call comes either after its end, or during the call itself, before its
// end: at most one call at a time is waiting for its end. Nothing is kept per call in flight,
// so any number may be in flight, and there is nothing to lose.
class CallPairing {
public:
    // The system's packet for call `call` (0: a packet posted by hand, not by a call). A packet
    // is always delivered; this only notes it for the call's end.
    void OnPacket(uint32_t call);
    // The I/O thread's end of call `call`, with the refusal (0 when the system took the call).
    // True when the refusal is to be delivered from here: the call was refused and no packet
    // came for it during the call.
    bool OnCallEnded(uint32_t call, DWORD refusal);

private:
    uint32_t lastEnded = 0;    // the latest call whose end has come
    uint32_t packetInCall = 0; // the call whose packet came before its end; 0 when none
};
