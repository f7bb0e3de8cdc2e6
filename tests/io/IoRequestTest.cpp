#include "io/IoRequest.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void Nothing(IoRequest*) {}
void Other(IoRequest*) {}

// The list read from its head, checking the back links on the way.
std::vector<IoRequest*> Walk(IoRequest* head) {
    std::vector<IoRequest*> items;
    IoRequest* prev = nullptr;
    for (IoRequest* r = head; r; r = r->next) {
        EXPECT_EQ(r->prev, prev);
        prev = r;
        items.push_back(r);
    }
    return items;
}

TEST(IoRequest, InitStoresRoutinesAndClearsTheRest) {
    IoRequest r;
    memset(&r, 0xAB, sizeof r);
    r.Init(Nothing, Other);
    EXPECT_EQ(r.onComplete, &Nothing);
    EXPECT_EQ(r.onAbandon, &Other);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.transferred, 0u);
    EXPECT_EQ(r.prev, nullptr);
    EXPECT_EQ(r.next, nullptr);
    EXPECT_EQ(r.list, nullptr);
    EXPECT_EQ(r.overlapped.Offset, 0u);
    EXPECT_EQ(r.overlapped.OffsetHigh, 0u);
    EXPECT_EQ(r.overlapped.hEvent, nullptr);
    // The completion port hands back the OVERLAPPED pointer; it must be the request.
    EXPECT_EQ(static_cast<void*>(&r.overlapped), static_cast<void*>(&r));
}

TEST(IoRequest, PositionSpansBothOffsetHalves) {
    IoRequest r;
    r.Init(Nothing, Nothing);
    r.SetPosition(0x123456789AULL);
    EXPECT_EQ(r.overlapped.Offset, 0x3456789Au);
    EXPECT_EQ(r.overlapped.OffsetHigh, 0x12u);
    EXPECT_EQ(r.Position(), 0x123456789AULL);
}

class PendingList : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& r : r_)
            r.Init(Nothing, Other);
        for (auto& r : r_)
            r.Link(&head_);
    }
    IoRequest r_[3];
    IoRequest* head_ = nullptr;
};

TEST_F(PendingList, LinkPutsEachAtTheHead) {
    EXPECT_EQ(Walk(head_), (std::vector<IoRequest*>{&r_[2], &r_[1], &r_[0]}));
    for (auto& r : r_)
        EXPECT_EQ(r.list, &head_);
}

TEST_F(PendingList, UnlinkingTheMiddleKeepsTheOthersInOrder) {
    r_[1].Unlink();
    EXPECT_EQ(head_, &r_[2]);
    EXPECT_EQ(Walk(head_), (std::vector<IoRequest*>{&r_[2], &r_[0]}));
    EXPECT_EQ(r_[1].list, nullptr);
    EXPECT_EQ(r_[1].prev, nullptr);
    EXPECT_EQ(r_[1].next, nullptr);
}

TEST_F(PendingList, UnlinkingTheHeadPromotesItsSuccessor) {
    r_[2].Unlink();
    EXPECT_EQ(Walk(head_), (std::vector<IoRequest*>{&r_[1], &r_[0]}));
    r_[0].Unlink();
    EXPECT_EQ(Walk(head_), (std::vector<IoRequest*>{&r_[1]}));
    r_[1].Unlink();
    EXPECT_EQ(head_, nullptr);
}

TEST_F(PendingList, LinkingALinkedRequestChangesNothing) {
    IoRequest* otherHead = nullptr;
    r_[1].Link(&otherHead);
    r_[1].Link(&head_);
    EXPECT_EQ(otherHead, nullptr);
    EXPECT_EQ(Walk(head_), (std::vector<IoRequest*>{&r_[2], &r_[1], &r_[0]}));
}

TEST_F(PendingList, UnlinkingAnUnlinkedRequestChangesNothing) {
    r_[1].Unlink();
    r_[1].Unlink();
    EXPECT_EQ(Walk(head_), (std::vector<IoRequest*>{&r_[2], &r_[0]}));
    // And it can be linked again, at the head.
    r_[1].Link(&head_);
    EXPECT_EQ(Walk(head_), (std::vector<IoRequest*>{&r_[1], &r_[2], &r_[0]}));
}

} // namespace
