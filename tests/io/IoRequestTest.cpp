#include "io/IoRequest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

void Nothing(IoRequest*) {}
void Other(IoRequest*) {}

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

enum class Op { Link, LinkElsewhere, Unlink };

struct ListStep {
    Op op;
    int request;            // index into the three requests
    std::vector<int> after; // the pending list from its head once the step is done
};

// Each case starts from the list 2, 1, 0 (each request linked at the head in turn).
const std::vector<std::vector<ListStep>> kListCases = {
    {{Op::Unlink, 1, {2, 0}}},                                            // the middle
    {{Op::Unlink, 2, {1, 0}}, {Op::Unlink, 0, {1}}, {Op::Unlink, 1, {}}}, // head, tail, last
    {{Op::LinkElsewhere, 1, {2, 1, 0}}, {Op::Link, 1, {2, 1, 0}}},        // already linked
    {{Op::Unlink, 1, {2, 0}}, {Op::Unlink, 1, {2, 0}}, {Op::Link, 1, {1, 2, 0}}}, // twice, back
};

// Checks the list both ways, and that each request knows whether it is in it.
void ExpectList(IoRequest** list, IoRequest (&r)[3], const std::vector<int>& expected) {
    std::vector<int> seen;
    IoRequest* prev = nullptr;
    for (IoRequest* item = *list; item && seen.size() <= 3; item = item->next) {
        EXPECT_EQ(item->prev, prev);
        prev = item;
        seen.push_back(static_cast<int>(item - r));
    }
    EXPECT_EQ(seen, expected);
    for (int i = 0; i < 3; ++i) {
        const bool in = std::find(expected.begin(), expected.end(), i) != expected.end();
        EXPECT_EQ(r[i].list, in ? list : nullptr) << i;
        if (!in) {
            EXPECT_EQ(r[i].prev, nullptr) << i;
            EXPECT_EQ(r[i].next, nullptr) << i;
        }
    }
}

TEST(IoRequest, PendingListLinksAndUnlinks) {
    for (size_t c = 0; c < kListCases.size(); ++c) {
        SCOPED_TRACE(testing::Message() << "case " << c);
        IoRequest r[3];
        IoRequest* head = nullptr;
        for (auto& request : r) {
            request.Init(Nothing, Other);
            request.Link(&head);
        }
        ExpectList(&head, r, {2, 1, 0});
        for (const ListStep& step : kListCases[c]) {
            IoRequest* elsewhere = nullptr;
            if (step.op == Op::Link)
                r[step.request].Link(&head);
            else if (step.op == Op::LinkElsewhere)
                r[step.request].Link(&elsewhere);
            else
                r[step.request].Unlink();
            EXPECT_EQ(elsewhere, nullptr);
            ExpectList(&head, r, step.after);
        }
    }
}

} // namespace
