#include <gtest/gtest.h>

#include "app/DynArray.h"
#include "app/WideString.h"
#include "support/SmallAddressSpace.h"

#include <vector>

namespace {

// Counts its live instances, so that every construction is matched by one destruction.
struct Tracked {
    static int live;
    static std::vector<int> destroyed;
    int value;
    WideString text;

    explicit Tracked(int v) : value(v) {
        ++live;
        text.Format(L"item %d", v);
    }
    Tracked(const Tracked& other) : value(other.value), text(other.text) { ++live; }
    ~Tracked() {
        --live;
        destroyed.push_back(value);
    }
};
int Tracked::live = 0;
std::vector<int> Tracked::destroyed;

} // namespace

TEST(DynArray, NewArrayIsEmpty) {
    DynArray<int> a;
    EXPECT_EQ(a.Capacity(), 0);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Items(), nullptr);
}

TEST(DynArray, GrowsByTheRule) {
    DynArray<int> a;
    std::vector<int> capacities;
    for (int i = 0; i < 368; ++i) {
        ASSERT_TRUE(a.Append(i));
        if (capacities.empty() || capacities.back() != a.Capacity())
            capacities.push_back(a.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 28, 44, 68, 104, 160, 244, 368}));
    EXPECT_EQ(a.Count(), 368);
    for (int i = 0; i < 368; ++i)
        ASSERT_EQ(a[i], i);
    ASSERT_TRUE(a.Append(368));
    EXPECT_EQ(a.Capacity(), 556);
}

TEST(DynArray, ReserveGivesExactlyWhatIsAsked) {
    DynArray<int> a;
    ASSERT_TRUE(a.Reserve(64));
    EXPECT_EQ(a.Capacity(), 64);
    EXPECT_EQ(a.Count(), 0);
    ASSERT_TRUE(a.Reserve(10));
    EXPECT_EQ(a.Capacity(), 64);
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(a.Append(i * 3));
    EXPECT_EQ(a.Capacity(), 64);
    ASSERT_TRUE(a.Reserve(65));
    EXPECT_EQ(a.Capacity(), 65);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(a[i], i * 3);
    // The next Append on the full array follows the rule from the count.
    ASSERT_TRUE(a.Append(1));
    ASSERT_TRUE(a.Append(2));
    EXPECT_EQ(a.Capacity(), (3 * 65 / 2 + 4) & ~3);
}

TEST(DynArray, ElementsSurviveTheByteCopyMove) {
    Tracked::live = 0;
    Tracked::destroyed.clear();
    {
        DynArray<Tracked> a;
        for (int i = 0; i < 30; ++i)
            ASSERT_TRUE(a.Append(Tracked(i)));
        EXPECT_EQ(a.Capacity(), 44);
        // Each call made and destroyed its argument and the temporary: only the stored remain.
        EXPECT_EQ(Tracked::live, 30);
        for (int i = 0; i < 30; ++i) {
            EXPECT_EQ(a[i].value, i);
            WideString expected;
            expected.Format(L"item %d", i);
            EXPECT_STREQ(a[i].text.Text(), expected.Text());
        }
        Tracked::destroyed.clear();
    }
    EXPECT_EQ(Tracked::live, 0);
    ASSERT_EQ(Tracked::destroyed.size(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(Tracked::destroyed[i], i); // in index order
}

TEST(DynArray, ClearDestroysInOrderAndKeepsTheBlock) {
    Tracked::live = 0;
    {
        DynArray<Tracked> a;
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(a.Append(Tracked(i)));
        Tracked* block = a.Items();
        Tracked::destroyed.clear();
        a.Clear();
        EXPECT_EQ(Tracked::destroyed, (std::vector<int>{0, 1, 2, 3, 4}));
        EXPECT_EQ(Tracked::live, 0);
        EXPECT_EQ(a.Count(), 0);
        EXPECT_EQ(a.Capacity(), 8);
        EXPECT_EQ(a.Items(), block);
        ASSERT_TRUE(a.Append(Tracked(9)));
        EXPECT_EQ(a.Items(), block);
        EXPECT_EQ(a[0].value, 9);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(DynArray, ResizeUpNeverShrinks) {
    DynArray<void*> a;
    ASSERT_TRUE(a.ResizeUp(5));
    EXPECT_EQ(a.Count(), 5);
    EXPECT_EQ(a.Capacity(), 5);
    for (int i = 0; i < 5; ++i)
        a[i] = &a;
    ASSERT_TRUE(a.ResizeUp(3));
    EXPECT_EQ(a.Count(), 5);
    EXPECT_EQ(a.Capacity(), 5);
    ASSERT_TRUE(a.ResizeUp(9));
    EXPECT_EQ(a.Count(), 9);
    EXPECT_EQ(a.Capacity(), 9);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(a[i], &a);
    // A little more grows the block by the rule, so that growing in small steps stays linear.
    ASSERT_TRUE(a.ResizeUp(10));
    EXPECT_EQ(a.Count(), 10);
    EXPECT_EQ(a.Capacity(), DynArray<void*>::GrownCapacity(9));

    // Within the capacity only the count moves.
    DynArray<int> b;
    ASSERT_TRUE(b.Reserve(16));
    ASSERT_TRUE(b.Append(7));
    ASSERT_TRUE(b.ResizeUp(10));
    EXPECT_EQ(b.Count(), 10);
    EXPECT_EQ(b.Capacity(), 16);
    EXPECT_EQ(b[0], 7);
}

namespace {

// Fills an array with 100, 101, 102, 103 and checks that a failed growth left exactly that.
class FailedGrowth {
public:
    FailedGrowth() {
        for (uint64_t i = 0; i < 4; ++i)
            EXPECT_TRUE(a.Append(i + 100));
        block = a.Items();
    }
    void ExpectUntouched() const {
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(a.Items(), block);
        EXPECT_EQ(a.Count(), 4);
        EXPECT_EQ(a.Capacity(), 4);
        for (uint64_t i = 0; i < 4; ++i)
            EXPECT_EQ(a[static_cast<int32_t>(i)], i + 100);
    }
    DynArray<uint64_t> a;

private:
    uint64_t* block;
};

} // namespace

// Blocks of 2 GiB and more are refused before the system is asked, in a process of any size.
TEST(DynArray, TooLargeABlockLeavesTheElements) {
    FailedGrowth g;
    ::SetLastError(0);
    EXPECT_FALSE(g.a.Reserve(0x10000000));
    g.ExpectUntouched();
    ::SetLastError(0);
    EXPECT_FALSE(g.a.ResizeUp(0x7FFFFFFF));
    g.ExpectUntouched();
}

// Just under 2 GiB passes that rule; here the system refuses it.
TEST(SmallAddressSpace, FailedDynArrayAllocationLeavesTheElements) {
    ASSERT_TRUE(testing_support::CannotReserve(testing_support::kAlmostTwoGiB));
    FailedGrowth g;
    ::SetLastError(0);
    EXPECT_FALSE(g.a.Reserve(0x0FFFE000));
    g.ExpectUntouched();
    ::SetLastError(0);
    EXPECT_FALSE(g.a.ResizeUp(0x0FFFE000));
    g.ExpectUntouched();
}

// Near the largest count the rule is worked out without wrapping, and where it passes the largest
// int32_t there is no capacity to grow to.
TEST(DynArray, GrowthNearTheLargestCount) {
    const struct {
        int32_t count;
        int32_t grown;
    } cases[] = {
        {715827882, 1073741824},                            // 3 * count just fits
        {715827884, 1073741828},                            // and just passes
        {0x30000000, 1207959556}, {1431655762, 2147483644}, // the last count that grows
        {1431655764, -1},         {INT32_MAX, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DynArray<char>::GrownCapacity(c.count), c.grown) << c.count;
}

// A full array of more elements than 2^31 / 3 grows by the rule, here more than the process can
// have: the growth fails and leaves every element, where it once wrapped to a capacity below the
// count and wrote past the block.
TEST(SmallAddressSpace, FullArrayPastAThirdOfTheLargestCountFailsToGrow) {
    ASSERT_TRUE(testing_support::CannotReserve(testing_support::kAlmostTwoGiB));
    constexpr int32_t kCount = 715827884; // the first count whose growth passes the largest
    DynArray<uint8_t> a;
    // A 32-bit process may have no free block this large to start from.
    if (!a.ResizeUp(kCount))
        GTEST_SKIP() << "no block of " << kCount << " bytes in this process";
    uint8_t* block = a.Items();
    a[0] = 1;
    a[kCount - 1] = 2;
    ::SetLastError(0);
    EXPECT_FALSE(a.Append(3));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(a.Items(), block);
    EXPECT_EQ(a.Count(), kCount);
    EXPECT_EQ(a.Capacity(), kCount);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[kCount - 1], 2);
}
