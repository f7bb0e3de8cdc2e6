#include "io/CallPairing.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Feeds the two events of each call in a chosen order and counts the deliveries per call.
class CallPairingTest : public ::testing::Test {
protected:
    // The calls are numbered as the I/O thread numbers them, from 1.
    void Packet(uint32_t call) {
        pairing.OnPacket(call);
        ++delivered[call];
    }
    void Ended(uint32_t call, DWORD refusal = 0) {
        if (pairing.OnCallEnded(call, refusal))
            ++delivered[call];
    }
    void ExpectEachDeliveredOnce(uint32_t first, uint32_t last) {
        for (uint32_t call = first; call <= last; ++call)
            EXPECT_EQ(delivered[call], 1) << "call " << call;
    }

    CallPairing pairing;
    std::map<uint32_t, int> delivered;
};

TEST_F(CallPairingTest, AnAcceptedCallIsDeliveredOnceWhicheverEventComesFirst) {
    // Finished inside the call: the packet is there before the call returns.
    Packet(1);
    Ended(1);
    // Under way when the call returns.
    Ended(2);
    Packet(2);
    ExpectEachDeliveredOnce(1, 2);
}

TEST_F(CallPairingTest, ARefusedCallIsDeliveredOnceWithOrWithoutAPacket) {
    // Wine posts a packet for some refusals (a full disk), inside the call.
    Packet(1);
    Ended(1, ERROR_DISK_FULL);
    // Windows never does, nor Wine for a closed handle.
    Ended(2, ERROR_INVALID_HANDLE);
    Packet(3);
    Ended(3);
    ExpectEachDeliveredOnce(1, 3);
}

TEST_F(CallPairingTest, RefusalsWithoutPacketsLeaveNothingBehind) {
    // Many refusals that no packet follows, then calls whose events pair up as usual: nothing
    // of the refusals may crowd out the others.
    for (uint32_t call = 1; call <= 100; ++call)
        Ended(call, ERROR_ACCESS_DENIED);
    for (uint32_t call = 101; call <= 200; ++call)
        Ended(call);
    Packet(201);
    for (uint32_t call = 101; call <= 200; ++call)
        Packet(call);
    Ended(201, ERROR_DISK_FULL);
    ExpectEachDeliveredOnce(1, 201);
}

TEST_F(CallPairingTest, MoreThanSixtyFourCallsInFlight) {
    // Pause and Resume clicks with 16 IoPairs can leave any number of calls under way.
    for (uint32_t call = 1; call <= 150; ++call)
        Ended(call);
    // A refused call with a packet while they are all under way; their packets arrive before
    // its end of call.
    Packet(151);
    for (uint32_t call = 150; call >= 1; --call)
        Packet(call);
    Ended(151, ERROR_DISK_FULL);
    // And a mix of both orders afterwards.
    for (uint32_t call = 152; call <= 250; ++call) {
        if (call % 2) {
            Packet(call);
            Ended(call, call % 3 ? 0 : ERROR_DISK_FULL);
        } else {
            Ended(call);
        }
    }
    for (uint32_t call = 152; call <= 250; call += 2)
        Packet(call);
    ExpectEachDeliveredOnce(1, 250);
}

// The numbers wrap past 2^32, skipping 0: a packet inside the first call after the wrap is still
// that call's.
TEST_F(CallPairingTest, NumbersThatWrapPairAsBefore) {
    Ended(0xFFFFFFFEu);
    Packet(0xFFFFFFFFu);
    Ended(0xFFFFFFFFu, ERROR_DISK_FULL);
    Packet(1);
    Ended(1, ERROR_DISK_FULL);
    EXPECT_EQ(delivered[0xFFFFFFFFu], 1);
    EXPECT_EQ(delivered[1], 1);
}

// Packets posted by hand (call 0) leave the pairing of the calls alone.
TEST_F(CallPairingTest, PacketsPostedByHandLeaveThePairingAlone) {
    Packet(0);
    Packet(0);
    Ended(1, ERROR_INVALID_HANDLE);
    Ended(2);
    Packet(2);
    ExpectEachDeliveredOnce(1, 2);
}

} // namespace
