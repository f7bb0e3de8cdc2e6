#include "OpsTestSupport.h"
#include "support/MessageLoop.h"

#include "app/Globals.h"
#include "io/ComputePool.h"
#include "ops/FreshPages.h"
#include "toolkit/PageMemory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr size_t kBytes = 9 * 1024 * 1024 + 4096;

uint8_t PatternAt(size_t i) {
    return static_cast<uint8_t>(i * 7 + (i >> 12));
}

using FreshPagesTest = ops_tests::OperationTest;

} // namespace

// The workers bring the pages in while this thread fills them from the front, as a read does,
// and after it has filled them all: not a byte they touch changes, with one worker or several.
TEST_F(FreshPagesTest, PagesBroughtInKeepWhatIsWrittenIntoThem) {
    for (int32_t workers : {1, 2, 3}) {
        SCOPED_TRACE(workers);
        gComputePool.Stop();
        ASSERT_TRUE(gComputePool.Start(workers));
        for (bool filledFirst : {false, true}) {
            PageMemory memory;
            ASSERT_TRUE(memory.Allocate(kBytes));
            uint8_t* data = memory.Get();
            FreshPages pages;
            if (filledFirst) {
                for (size_t i = 0; i < kBytes; ++i)
                    data[i] = PatternAt(i);
            }
            ASSERT_TRUE(pages.Start(data, kBytes));
            if (!filledFirst) {
                for (size_t i = 0; i < kBytes; ++i)
                    data[i] = PatternAt(i);
            }
            ASSERT_TRUE(gComputePool.WaitIdle());
            testing_support::PumpFor(50); // the job comes back
            size_t wrong = 0;
            for (size_t i = 0; i < kBytes; ++i)
                wrong += data[i] != PatternAt(i);
            EXPECT_EQ(wrong, 0u) << "filled first " << filledFirst;
            pages.LetGo();
        }
    }
}
