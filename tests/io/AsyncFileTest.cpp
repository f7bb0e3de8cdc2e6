#include "IoTestSupport.h"

#include "io/IoObserver.h"
#include "support/ChainedObserver.h"

using namespace testing_support;
using namespace io_tests;

namespace {

using AsyncFileTest = IoEngineTest;

constexpr DWORD kOverlapped = FILE_FLAG_OVERLAPPED;
constexpr DWORD kUnbuffered = FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING;

// Page-aligned memory, as the transfer buffers are.
struct AlignedBuffer {
    explicit AlignedBuffer(size_t n)
        : data(static_cast<uint8_t*>(
              ::VirtualAlloc(nullptr, n, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {}
    ~AlignedBuffer() { ::VirtualFree(data, 0, MEM_RELEASE); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    uint8_t* data;
};

TEST_F(AsyncFileTest, NewFileIsClosedAndEmpty) {
    AsyncFile file;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Pending(), nullptr);
    EXPECT_FALSE(file.Close());
    EXPECT_EQ(file.GetSize(), 0u);
}

TEST_F(AsyncFileTest, CreateNewOnAnExistingNameFailsWithFileExists) {
    ASSERT_TRUE(WriteWholeFile(dir / L"there", MakePattern(10)));
    AsyncFile file;
    EXPECT_FALSE(file.Open((dir / L"there").c_str(), GENERIC_WRITE, CREATE_NEW, kUnbuffered));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(FileSize(dir / L"there"), 10);
}

TEST_F(AsyncFileTest, OpenOfAnOpenFileFailsAndLeavesItOpen) {
    AsyncFile file;
    ASSERT_TRUE(file.Open((dir / L"a").c_str(), GENERIC_WRITE, CREATE_NEW, kOverlapped));
    HANDLE first = file.Handle();
    ::SetLastError(1234);
    EXPECT_FALSE(file.Open((dir / L"b").c_str(), GENERIC_WRITE, CREATE_NEW, kOverlapped));
    EXPECT_EQ(::GetLastError(), 1234u);
    EXPECT_EQ(file.Handle(), first);
    EXPECT_FALSE(FileExists(dir / L"b"));
    EXPECT_TRUE(file.Close());
    // Closed, it opens again.
    EXPECT_TRUE(file.Open((dir / L"a").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
}

TEST_F(AsyncFileTest, HeldFileCannotBeOpenedAgainInThisProcess) {
    std::wstring path = dir / L"held";
    ASSERT_TRUE(WriteWholeFile(path, MakePattern(100)));
    AsyncFile file, second;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    EXPECT_FALSE(second.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE shared = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(shared, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    ASSERT_TRUE(file.Close());
    EXPECT_TRUE(second.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
}

TEST_F(AsyncFileTest, FileHeldByAnotherOpenerCannotBeOpened) {
    std::wstring path = dir / L"other";
    ASSERT_TRUE(WriteWholeFile(path, MakePattern(100)));
    HANDLE other = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    AsyncFile file;
    EXPECT_FALSE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ::CloseHandle(other);
}

// The child side of the cross-process test: opens the file named in the environment with the
// widest sharing and ends the process with the error code (0 when the open worked).
TEST(ShareProbe, DISABLED_OpenNamedFile) {
    wchar_t path[MAX_PATH];
    if (!::GetEnvironmentVariableW(L"BRINDLECOT_PROBE_FILE", path, MAX_PATH))
        ::ExitProcess(1000);
    HANDLE h = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    DWORD result = h == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    ::ExitProcess(result);
}

DWORD OpenFromAnotherProcess(const std::wstring& path) {
    ::SetEnvironmentVariableW(L"BRINDLECOT_PROBE_FILE", path.c_str());
    return RunTestInChildProcess(L"ShareProbe.DISABLED_OpenNamedFile");
}

TEST_F(AsyncFileTest, HeldFileCannotBeOpenedByAnotherProcess) {
    std::wstring path = dir / L"held";
    ASSERT_TRUE(WriteWholeFile(path, MakePattern(100)));
    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    EXPECT_EQ(OpenFromAnotherProcess(path), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(OpenFromAnotherProcess(path), 0u);
}

TEST_F(AsyncFileTest, ReadsAndWritesMoveTheRightBytesToTheRightPlaces) {
    const uint32_t sector = SectorSizeOf(dir.Path());
    ASSERT_NE(sector, 0u);
    std::vector<uint8_t> pattern = MakePattern(4 * sector, 7);
    AlignedBuffer out(4 * sector), in(4 * sector);
    memcpy(out.data, pattern.data(), pattern.size());

    AsyncFile file;
    ASSERT_TRUE(
        file.Open((dir / L"f").c_str(), GENERIC_READ | GENERIC_WRITE, CREATE_NEW, kUnbuffered));
    // Written back to front, each sector at its own place.
    TrackedRequest writes[4];
    for (int i = 0; i < 4; ++i) {
        writes[i].Prepare(uint64_t(3 - i) * sector);
        ASSERT_TRUE(file.Write(out.data + (3 - i) * sector, sector, &writes[i]));
    }
    ASSERT_TRUE(PumpUntilDone({&writes[0], &writes[1], &writes[2], &writes[3]}));
    for (auto& w : writes) {
        EXPECT_EQ(w.completed, 1);
        EXPECT_EQ(w.seenError, 0u);
        EXPECT_EQ(w.seenTransferred, sector);
        EXPECT_FALSE(w.seenLinked);
        EXPECT_FALSE(w.outsideTick);
    }
    EXPECT_EQ(file.Pending(), nullptr);
    EXPECT_EQ(file.GetSize(), 4u * sector);

    TrackedRequest read(sector);
    ASSERT_TRUE(file.Read(in.data, 2 * sector, &read));
    ASSERT_TRUE(PumpUntilDone({&read}));
    EXPECT_EQ(read.seenTransferred, 2 * sector);
    EXPECT_EQ(0, memcmp(in.data, pattern.data() + sector, 2 * sector));
    // Each completion runs exactly once, however long the loop goes on.
    PumpTicks(3);
    EXPECT_EQ(read.completed, 1);
    for (auto& w : writes)
        EXPECT_EQ(w.completed, 1);
    EXPECT_TRUE(file.Close());

    EXPECT_TRUE(Holds(dir / L"f", pattern));
    EXPECT_EQ(checker.CheckedCount(), 5);
}

TEST_F(AsyncFileTest, ReadFailingOnCompletionCarriesTheSystemError) {
    std::vector<uint8_t> data = MakePattern(4196, 9);
    ASSERT_TRUE(WriteWholeFile(dir / L"src", data));
    AsyncFile file;
    ASSERT_TRUE(file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    std::vector<uint8_t> a(512), b(512);
    TrackedRequest pastEnd(8192), shortRead(4096);
    ASSERT_TRUE(file.Read(a.data(), 512, &pastEnd));
    ASSERT_TRUE(file.Read(b.data(), 512, &shortRead));
    ASSERT_TRUE(PumpUntilDone({&pastEnd, &shortRead}));

    EXPECT_EQ(pastEnd.completed, 1);
    EXPECT_EQ(pastEnd.seenError, static_cast<uint32_t>(ERROR_HANDLE_EOF));
    EXPECT_EQ(pastEnd.seenTransferred, 0u);
    EXPECT_FALSE(pastEnd.outsideTick);

    // A read across the end succeeds with what is there.
    EXPECT_EQ(shortRead.completed, 1);
    EXPECT_EQ(shortRead.seenError, 0u);
    EXPECT_EQ(shortRead.seenTransferred, 100u);
    EXPECT_EQ(0, memcmp(b.data(), data.data() + 4096, 100));
}

TEST_F(AsyncFileTest, CallRefusedAtOnceReachesOnCompleteWithItsError) {
    ASSERT_TRUE(WriteWholeFile(dir / L"src", MakePattern(4096)));
    AsyncFile readOnly, closed;
    ASSERT_TRUE(readOnly.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    std::vector<uint8_t> buffer(4096);
    TrackedRequest write, read;
    ASSERT_TRUE(readOnly.Write(buffer.data(), 4096, &write));
    ASSERT_TRUE(closed.Read(buffer.data(), 4096, &read));
    EXPECT_EQ(closed.Pending(), &read);
    ASSERT_TRUE(PumpUntilDone({&write, &read}));

    EXPECT_EQ(write.completed, 1);
    EXPECT_EQ(write.seenError, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(write.seenTransferred, 0u);
    EXPECT_FALSE(write.outsideTick);
    EXPECT_FALSE(write.otherThread);
    EXPECT_EQ(read.completed, 1);
    EXPECT_EQ(read.seenError, static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(read.seenTransferred, 0u);
    EXPECT_FALSE(read.seenLinked);
    EXPECT_EQ(closed.Pending(), nullptr);
    EXPECT_EQ(readOnly.Pending(), nullptr);
    EXPECT_EQ(FileSize(dir / L"src"), 4096);
}

TEST_F(AsyncFileTest, CallThatCannotBeQueuedFailsAtOnceAndLeavesNothingBehind) {
    ASSERT_TRUE(WriteWholeFile(dir / L"src", MakePattern(4096)));
    AsyncFile file;
    ASSERT_TRUE(file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    // Without the I/O thread there is nobody to queue the call to.
    ASSERT_TRUE(gIoThread.Stop());
    std::vector<uint8_t> buffer(4096);
    TrackedRequest read, write;
    ::SetLastError(0);
    EXPECT_FALSE(file.Read(buffer.data(), 4096, &read));
    EXPECT_NE(::GetLastError(), 0u);
    EXPECT_FALSE(file.Write(buffer.data(), 4096, &write));
    EXPECT_EQ(file.Pending(), nullptr);
    EXPECT_FALSE(read.IsLinked());
    PumpTicks(3);
    EXPECT_FALSE(read.Done());
    EXPECT_FALSE(write.Done());
    // ReadFile was never called on the request.
    EXPECT_FALSE(HasOverlappedIoCompleted(&read.overlapped));
}

TEST_F(AsyncFileTest, ReadFinishingAtOnceStillComesThroughTheTimer) {
    Pipe pipe;
    ASSERT_TRUE(pipe.IsCreated());
    AsyncFile client;
    ASSERT_TRUE(
        client.Open(pipe.Name().c_str(), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, kOverlapped));
    // With the data already waiting, ReadFile finishes within the call.
    ASSERT_TRUE(pipe.Send("waiting"));
    char buffer[16] = {};
    TrackedRequest read;
    ASSERT_TRUE(client.Read(buffer, sizeof buffer, &read));
    ASSERT_TRUE(WaitSystemDone(read));
    LetCompletionThreadRun();
    EXPECT_FALSE(read.Done());
    EXPECT_EQ(client.Pending(), &read);

    ASSERT_TRUE(PumpUntilDone({&read}));
    EXPECT_EQ(read.completed, 1);
    EXPECT_FALSE(read.outsideTick);
    EXPECT_EQ(read.seenError, 0u);
    EXPECT_EQ(read.seenTransferred, 7u);
    EXPECT_EQ(std::string(buffer), "waiting");
    PumpTicks(3);
    EXPECT_EQ(read.completed, 1);
}

TEST_F(AsyncFileTest, CompletionsOfOneFileRunInTheOrderTheyCame) {
    Pipe pipe;
    AsyncFile client;
    ASSERT_TRUE(
        client.Open(pipe.Name().c_str(), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, kOverlapped));
    std::vector<TrackedRequest*> order;
    TrackedRequest::order = &order;
    char a[4] = {}, b[4] = {}, c[4] = {};
    TrackedRequest ra, rb, rc;
    ASSERT_TRUE(client.Read(a, 4, &ra));
    ASSERT_TRUE(client.Read(b, 4, &rb));
    ASSERT_TRUE(client.Read(c, 4, &rc));
    // Reads on a pipe are served in the order issued; all three finish before the next tick.
    ASSERT_TRUE(pipe.Send("111122223333"));
    ASSERT_TRUE(WaitSystemDone(rc));
    ASSERT_TRUE(PumpUntilDone({&ra, &rb, &rc}));
    EXPECT_EQ(order, (std::vector<TrackedRequest*>{&ra, &rb, &rc}));
    EXPECT_EQ(std::string(a, 4), "1111");
    EXPECT_EQ(std::string(b, 4), "2222");
    EXPECT_EQ(std::string(c, 4), "3333");
}

// Under Wine a disk read that finishes inside ReadFile posts its packet by file handle after the
// call, so closing the file while the I/O thread is in that call can lose the packet. The tests
// close before the call is made (the request still queued to the I/O thread), while the system
// still holds the request (a pipe read without data), or once its completion is on the way to
// this thread, as here.
TEST_F(AsyncFileTest, ClosingAbandonsRequestsWhoseCompletionsAreWaiting) {
    std::vector<uint8_t> data = MakePattern(65536, 11);
    ASSERT_TRUE(WriteWholeFile(dir / L"src", data));
    AsyncFile file;
    ASSERT_TRUE(file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    std::vector<uint8_t> buffer(65536);
    TrackedRequest r[4];
    for (int i = 0; i < 4; ++i) {
        r[i].Prepare(16384u * i);
        ASSERT_TRUE(file.Read(&buffer[16384 * i], 16384, &r[i]));
    }
    for (auto& x : r)
        ASSERT_TRUE(WaitSystemDone(x));
    LetCompletionThreadRun();
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.Pending(), nullptr);
    for (auto& x : r)
        EXPECT_FALSE(x.IsLinked());
    ASSERT_TRUE(PumpUntilDone({&r[0], &r[1], &r[2], &r[3]}));
    for (auto& x : r) {
        EXPECT_EQ(x.abandoned, 1);
        EXPECT_EQ(x.completed, 0);
        EXPECT_FALSE(x.outsideTick);
    }
}

TEST_F(AsyncFileTest, ClosingAbandonsPendingPipeReadsAndKeepsTheRestLinked) {
    Pipe pipe;
    AsyncFile client;
    // Read access only, so that a write is refused at once.
    ASSERT_TRUE(client.Open(pipe.Name().c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    char a[8], c[8], b[8] = "nothing";
    TrackedRequest ra, rb, rc;
    ASSERT_TRUE(client.Read(a, sizeof a, &ra));
    ASSERT_TRUE(client.Write(b, sizeof b, &rb));
    ASSERT_TRUE(client.Read(c, sizeof c, &rc));
    // The list runs from the newest: c, b, a. The middle one comes back first.
    ASSERT_TRUE(PumpUntilDone({&rb}));
    EXPECT_EQ(rb.completed, 1);
    EXPECT_EQ(rb.seenError, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ra.Done());
    EXPECT_FALSE(rc.Done());
    EXPECT_EQ(client.Pending(), &rc);
    EXPECT_EQ(rc.next, &ra);
    EXPECT_EQ(ra.prev, &rc);
    EXPECT_EQ(ra.next, nullptr);

    // The two reads never got data; closing the file ends them, through onAbandon.
    EXPECT_TRUE(client.Close());
    ASSERT_TRUE(PumpUntilDone({&ra, &rc}));
    EXPECT_EQ(ra.abandoned, 1);
    EXPECT_EQ(rc.abandoned, 1);
    EXPECT_EQ(ra.completed + rc.completed, 0);
}

// The pipe's data, sent from another thread a while after the test has gone on.
struct LateSend {
    Pipe* pipe;
    static DWORD WINAPI Run(void* parameter) {
        ::Sleep(300);
        return static_cast<LateSend*>(parameter)->pipe->Send("free") ? 0 : 1;
    }
};

// A write still queued to the I/O thread when its file is closed: the handle's value is given to
// the next file opened, and a call made on it after the close would write into that file, and
// never come back. Closing waits for the call to be made on the file it was meant for.
TEST_F(AsyncFileTest, ClosingLetsARequestStillQueuedReachItsOwnFile) {
    // The I/O thread is held in a read on a synchronous pipe handle until data arrives.
    Pipe pipe;
    HANDLE blockerHandle =
        ::CreateFileW(pipe.Name().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(blockerHandle, INVALID_HANDLE_VALUE);
    char blockerBuffer[4];
    TrackedRequest blocker;
    ASSERT_TRUE(gIoThread.QueueRead(blockerHandle, blockerBuffer, 4, &blocker));

    AsyncFile file;
    ASSERT_TRUE(file.Open((dir / L"dst").c_str(), GENERIC_WRITE, CREATE_NEW, kOverlapped));
    const HANDLE closed = file.Handle();
    const std::vector<uint8_t> data = MakePattern(4096, 5);
    TrackedRequest queued;
    ASSERT_TRUE(file.Write(const_cast<uint8_t*>(data.data()), 4096, &queued));
    LateSend late{&pipe};
    KernelHandle sender(::CreateThread(nullptr, 0, LateSend::Run, &late, 0, nullptr));
    ASSERT_TRUE(sender.IsSet());
    EXPECT_TRUE(file.Close());

    // Files opened right after the close, until one is given the closed handle's value.
    const std::vector<uint8_t> bystander = MakePattern(4096, 6);
    std::vector<HANDLE> opened;
    for (int i = 0; i < 8 && (opened.empty() || opened.back() != closed); ++i) {
        const std::wstring name = dir / (L"bystander" + std::to_wstring(i));
        ASSERT_TRUE(WriteWholeFile(name, bystander));
        opened.push_back(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    }
    EXPECT_EQ(opened.back(), closed) << "no file was given the closed handle's value";
    EXPECT_TRUE(PumpUntilDone({&queued}));
    EXPECT_EQ(queued.abandoned, 1);
    EXPECT_EQ(queued.completed, 0);
    EXPECT_EQ(::WaitForSingleObject(sender.Get(), 10000), WAIT_OBJECT_0);
    for (size_t i = 0; i < opened.size(); ++i) {
        ::CloseHandle(opened[i]);
        EXPECT_TRUE(Holds(dir / (L"bystander" + std::to_wstring(i)), bystander)) << i;
    }
    EXPECT_TRUE(Holds(dir / L"dst", data));
    EXPECT_EQ(std::string(blockerBuffer, 4), "free");
    ::CloseHandle(blockerHandle);
}

TEST_F(AsyncFileTest, OpenFailsWhenThePortRefusesTheFile) {
    ASSERT_TRUE(WriteWholeFile(dir / L"src", MakePattern(4096)));
    // With the dispatcher stopped there is no port to bind to; a file that could never
    // complete a read must not open.
    ASSERT_TRUE(gDispatcher.Stop());
    AsyncFile file;
    ::SetLastError(0);
    EXPECT_FALSE(file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(file.IsOpen());
    // And it is not held.
    HANDLE other =
        ::CreateFileW((dir / L"src").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    ::CloseHandle(other);
}

TEST_F(AsyncFileTest, SetSizeCutsASectorWrittenFileToAnOddLength) {
    const uint32_t sector = SectorSizeOf(dir.Path());
    ASSERT_NE(sector, 0u);
    std::vector<uint8_t> pattern = MakePattern(3 * sector, 13);
    AlignedBuffer out(3 * sector);
    memcpy(out.data, pattern.data(), pattern.size());
    std::wstring path = dir / L"cut";

    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, CREATE_NEW, kUnbuffered));
    TrackedRequest write;
    ASSERT_TRUE(file.Write(out.data, 3 * sector, &write));
    ASSERT_TRUE(PumpUntilDone({&write}));
    ASSERT_EQ(write.seenError, 0u);
    ASSERT_TRUE(file.Close());

    const uint64_t exact = 2 * sector + 3;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, OPEN_EXISTING, 0));
    EXPECT_EQ(file.GetSize(), 3u * sector);
    EXPECT_TRUE(file.SetSize(exact));
    EXPECT_EQ(file.GetSize(), exact);
    ASSERT_TRUE(file.Close());

    EXPECT_TRUE(Holds(path, std::vector<uint8_t>(pattern.begin(), pattern.begin() + exact)));
    EXPECT_EQ(checker.CheckedCount(), 1);
}

// Passes everything on and then leaves a last-error value of its own at every close, as a close
// whose clean-up makes failing calls would.
class ScribblingObserver final : public ChainedObserver {
public:
    void OnClose(HANDLE handle) override {
        ChainedObserver::OnClose(handle);
        ::SetLastError(ERROR_GEN_FAILURE);
    }
};

// Counts the files opened while it lives.
class OpenCounter final : public ChainedObserver {
public:
    void OnOpen(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags,
                HANDLE handle) override {
        ChainedObserver::OnOpen(name, access, disposition, flags, handle);
        ++opens;
    }
    int opens = 0;
};

TEST_F(AsyncFileTest, CutToSetsTheExactLengthOrFailsWithTheReasonItCouldNot) {
    const uint32_t sector = SectorSizeOf(dir.Path());
    ASSERT_NE(sector, 0u);
    std::vector<uint8_t> pattern = MakePattern(2 * sector, 7);
    AlignedBuffer out(2 * sector);
    memcpy(out.data, pattern.data(), pattern.size());
    std::wstring path = dir / L"cut";

    AsyncFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, CREATE_NEW, kUnbuffered));
    TrackedRequest write;
    ASSERT_TRUE(file.Write(out.data, 2 * sector, &write));
    ASSERT_TRUE(PumpUntilDone({&write}));
    ASSERT_EQ(write.seenError, 0u);

    // Without write access the length can't be set: the reason is the one SetSize gives, not
    // whatever the closing leaves, and the file is closed and untouched.
    ASSERT_TRUE(file.Close());
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, 0));
    ASSERT_FALSE(file.SetSize(sector + 1));
    const DWORD refused = ::GetLastError();
    ASSERT_NE(refused, 0u);
    ASSERT_TRUE(file.Close());
    ASSERT_NE(refused, static_cast<DWORD>(ERROR_GEN_FAILURE));
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    {
        ScribblingObserver scribbler;
        EXPECT_FALSE(file.CutTo(path.c_str(), GENERIC_READ, sector + 1));
        EXPECT_EQ(::GetLastError(), refused);
    }
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(FileSize(path), static_cast<int64_t>(2 * sector));

    // From an open unbuffered handle to the exact length, closed.
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, OPEN_EXISTING, kUnbuffered));
    EXPECT_TRUE(file.CutTo(path.c_str(), GENERIC_WRITE, sector + 1));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(Holds(path, std::vector<uint8_t>(pattern.begin(), pattern.begin() + sector + 1)));

    // Already at its length: closed as it is, without opening it again.
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, OPEN_EXISTING, kUnbuffered));
    {
        OpenCounter counter;
        EXPECT_TRUE(file.CutTo(path.c_str(), GENERIC_WRITE, sector + 1));
        EXPECT_EQ(counter.opens, 0);
    }
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(FileSize(path), static_cast<int64_t>(sector + 1));
}

TEST_F(AsyncFileTest, SetSizeAndGetSizeFailOnAClosedFile) {
    AsyncFile file;
    ::SetLastError(0);
    EXPECT_FALSE(file.SetSize(10));
    EXPECT_NE(::GetLastError(), 0u);
    EXPECT_EQ(file.GetSize(), 0u);
}

TEST_F(AsyncFileTest, DestructionAbandonsWhatIsInFlight) {
    ASSERT_TRUE(WriteWholeFile(dir / L"src", MakePattern(8192)));
    std::vector<uint8_t> buffer(8192);
    TrackedRequest r[2];
    {
        AsyncFile file;
        ASSERT_TRUE(file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
        r[1].Prepare(4096);
        ASSERT_TRUE(file.Read(&buffer[0], 4096, &r[0]));
        ASSERT_TRUE(file.Read(&buffer[4096], 4096, &r[1]));
        for (auto& x : r)
            ASSERT_TRUE(WaitSystemDone(x));
        LetCompletionThreadRun();
    }
    ASSERT_TRUE(PumpUntilDone({&r[0], &r[1]}));
    EXPECT_EQ(r[0].abandoned + r[1].abandoned, 2);
    EXPECT_EQ(r[0].completed + r[1].completed, 0);
}

TEST_F(AsyncFileTest, AMoveTakesTheHandleAndLeavesTheListBehind) {
    ASSERT_TRUE(WriteWholeFile(dir / L"src", MakePattern(16)));
    AsyncFile file;
    ASSERT_TRUE(file.Open((dir / L"src").c_str(), GENERIC_READ, OPEN_EXISTING, kOverlapped));
    const HANDLE handle = file.Handle();
    {
        AsyncFile moved(std::move(file));
        EXPECT_EQ(moved.Handle(), handle);
        EXPECT_EQ(moved.Pending(), nullptr);
        EXPECT_FALSE(file.IsOpen());
    }
    // The one owner closed it as it went; the one left had nothing to close.
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(handle, &flags));
}

} // namespace
