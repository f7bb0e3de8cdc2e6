#include "ui/WorkQueue.h"

#include <gtest/gtest.h>

#include <string>

// What the window's queue and its exit code make of several files is checked in the window's
// own cases; here, which work a dropped file asks for.
TEST(WorkQueue, ADroppedFileIsJoinedThroughItsFirstPartOrSplit) {
    const struct {
        const wchar_t* file;
        const wchar_t* join; // null: split the file
    } cases[] = {
        {L"C:\\a\\trip.avi", nullptr},
        {L"C:\\a\\TRIP.AVI.001", L"C:\\a\\TRIP.AVI.001"},
        {L"C:\\a\\trip.avi.SHA256", L"C:\\a\\trip.avi.001"},
        {L"C:\\a\\trip.avi.vol15+16.PAR2", L"C:\\a\\trip.avi.001"},
        // Not a volume's name: the stem keeps it.
        {L"C:\\a\\trip.vol+1.par2", L"C:\\a\\trip.vol+1.001"},
        // Nothing before the list's extension: no set to join.
        {L".sha256", nullptr},
        {L"C:\\a\\trip.avi.sfv", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.file)));
        WideString file, target;
        file.Assign(c.file, static_cast<uint32_t>(std::wcslen(c.file)));
        EXPECT_EQ(WorkQueue::ModeForFile(file, target), c.join ? RunMode::Join : RunMode::Split);
        EXPECT_EQ(std::wstring(target.Text()), c.join ? c.join : c.file);
    }
}
