#include "OpsTestSupport.h"
#include "support/SettingsValues.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <algorithm>

using namespace testing_support;

namespace ops_tests {
namespace {

constexpr uint32_t kBuffer = 128 * 1024;
// Hands one chosen read or write to the system a sector shorter than asked, so that it
// completes short.
class ShortCall : public ChainedObserver {
public:
    ShortCall(bool onWrite, int callNumber) : write(onWrite), which(callNumber) {}

    uint32_t IssuedLength(HANDLE, uint64_t, uint32_t length, bool isWrite) override {
        if (isWrite != write || ++seen != which)
            return length;
        shortened = true;
        return length - kSector;
    }

    bool shortened = false;

private:
    bool write;
    int which;
    int seen = 0;
};

class ShortCompletionTest : public OperationTest {
protected:
    // One IoPair, so that the second call of each kind is a whole buffer in the middle of the
    // data, after one chunk that went well.
    void SetUp() override {
        OperationTest::SetUp();
        SetTuning(kBuffer, 1);
        WriteDword(L"DeleteFiles", 1);
    }

    // The operation failed with the step's text and showed or announced nothing as done.
    void ExpectFailedAndNothingGood(const Operation& operation, const RecordingDisplay& shown,
                                    const std::wstring& name, const std::wstring& text) {
        EXPECT_EQ(operation.State(), OperationState::Failed);
        EXPECT_LT(operation.Progress(), 100.0f);
        EXPECT_EQ(shown.status, L"Error occurred !");
        EXPECT_EQ(shown.statusBar, text);
        EXPECT_EQ(shown.title, name);
        EXPECT_EQ(shown.endedMessages, 0);
        for (const std::wstring& status : shown.statusHistory) {
            EXPECT_EQ(status.find(L" splited !"), std::wstring::npos);
            EXPECT_EQ(status.find(L" joined !"), std::wstring::npos);
        }
    }

    void Split(bool shortWrite, const std::wstring& step, DWORD code) {
        const std::wstring source = dir / L"whole.bin";
        ASSERT_TRUE(WritePatternFile(source, 4 * kBuffer, 3));
        ShortCall shortCall(shortWrite, 2);
        RecordingDisplay shown;
        shown.partSize = 2 * kBuffer;
        SplitOperation split(shown);
        split.Start(Wide(source));
        ASSERT_EQ(split.State(), OperationState::Waiting);
        split.OnCommand(kCommandSplit);
        ASSERT_TRUE(RunToEnd(split));
        EXPECT_TRUE(shortCall.shortened);
        ExpectFailedAndNothingGood(split, shown, L"whole.bin", ErrorText(step, code));
        // Nothing was issued after the failure.
        EXPECT_FALSE(FileExists(PartName(source, 2)));
        split.Abort();
    }

    void Join(bool shortWrite, const std::wstring& step, DWORD code) {
        const std::wstring whole = dir / L"joined.bin";
        std::vector<uint8_t> data = MakePattern(4 * kBuffer, 5);
        for (unsigned i = 1; i <= 2; ++i) {
            std::vector<uint8_t> part(data.begin() + (i - 1) * 2 * kBuffer,
                                      data.begin() + i * 2 * kBuffer);
            ASSERT_TRUE(WriteWholeFile(PartName(whole, i), part));
        }
        ShortCall shortCall(shortWrite, 2);
        RecordingDisplay shown;
        JoinOperation join(shown);
        join.Start(Wide(PartName(whole, 1)));
        ASSERT_TRUE(RunToEnd(join));
        EXPECT_TRUE(shortCall.shortened);
        ExpectFailedAndNothingGood(join, shown, L"joined.bin", ErrorText(step, code));
        join.Abort();
        // DeleteFiles is on, and still every part stays; nothing of the output does.
        for (unsigned i = 1; i <= 2; ++i)
            EXPECT_TRUE(FileExists(PartName(whole, i))) << i;
        EXPECT_FALSE(FileExists(whole));
        EXPECT_FALSE(FileExists(whole + L".partial"));
    }
};

TEST_F(ShortCompletionTest, SplitFailsOnAShortRead) {
    Split(false, L"Error OnRead", ERROR_HANDLE_EOF);
}

TEST_F(ShortCompletionTest, SplitFailsOnAShortWrite) {
    Split(true, L"Error OnWrite", ERROR_DISK_FULL);
}

TEST_F(ShortCompletionTest, JoinFailsOnAShortRead) {
    Join(false, L"Error OnRead", ERROR_HANDLE_EOF);
}

TEST_F(ShortCompletionTest, JoinFailsOnAShortWrite) {
    Join(true, L"Error OnWrite", ERROR_DISK_FULL);
}

} // namespace
} // namespace ops_tests
