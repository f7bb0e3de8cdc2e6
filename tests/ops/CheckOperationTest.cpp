#include "OpsTestSupport.h"
#include "support/Par2TestSets.h"

#include "ops/CheckOperation.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>

using namespace ops_tests;
using namespace testing_support;

namespace {

// The names and sizes of what a folder holds: what a check must leave as it found it.
std::map<std::wstring, DWORD> Listing(const std::wstring& folder) {
    std::map<std::wstring, DWORD> sizes;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found))
        sizes[found.cFileName] = found.nFileSizeLow;
    ::FindClose(search);
    return sizes;
}

class CheckOperationTest : public OperationTest {};

// A set of four parts in slices of 4 KiB (three each, the last part two), with whichever of
// its side files, then damaged: each check reads it and tells part by part, and writes nothing.
TEST_F(CheckOperationTest, TellsEachPartAndWhatTheRecoveryDataCanDo) {
    constexpr uint32_t kSlice = 4096;
    const uint64_t sizes[] = {3 * kSlice, 3 * kSlice, 3 * kSlice, 5000};
    enum Side { kList = 1, kSet = 2, kSfv = 4, kWholeLine = 8, kBadList = 16 };
    struct Row {
        const char* what;
        int sides;
        int32_t blocks;        // of the recovery set
        const wchar_t* damage; // per part: '.' as made, 'x' a byte flipped in its second slice,
                               // '-' gone, 's' cut short
        const wchar_t* from;   // what the check is started on
        const wchar_t* summary;
        const wchar_t* part2; // its state in the report
        OperationOutcome outcome;
        const wchar_t* note = nullptr;     // what the status bar says before the path
        const wchar_t* repaired = nullptr; // the verdict after Repair, where it is offered
    };
    const Row rows[] = {
        {"list, whole", kList, 0, L"....", L".001", L"All 4 parts are good (SHA-256)", L"good",
         OperationOutcome::Done},
        {"list, damaged", kList, 0, L".x..", L".003", L"Part 2 is damaged", L"damaged",
         OperationOutcome::Damaged},
        {"list, two damaged and a gap", kList, 0, L"xx-.", L".001",
         L"2 parts damaged and part 3 missing", L"damaged", OperationOutcome::Damaged},
        {"list, still arriving", kList, 0, L"..--", L".sha256",
         L"2 of 4 parts present, all good (SHA-256)", L"good", OperationOutcome::Incomplete},
        {"nothing beside", 0, 0, L"....", L".001", L"4 parts, none vouched for", L"not vouched for",
         OperationOutcome::Done},
        {"a list refused", kBadList, 0, L"....", L".001", L"4 parts, none vouched for",
         L"not vouched for", OperationOutcome::Done,
         L"c.bin.sha256 ignored (line 1 is not a SHA-256 line); "},
        {"nothing beside, cut short", 0, 0, L".s..", L".001", L"Part 2 has the wrong size",
         L"wrong size", OperationOutcome::Incomplete},
        {"sfv, damaged", kSfv, 0, L".x..", L".sfv", L"Part 2 is damaged", L"damaged",
         OperationOutcome::Damaged},
        {"whole-file line, damaged", kWholeLine, 0, L".x..", L".001",
         L"The 4 parts do not make the file (SHA-256)", L"not vouched for",
         OperationOutcome::Damaged},
        {"set, whole", kSet, 2, L"....", L".par2", L"All 4 parts are good (PAR2)", L"good",
         OperationOutcome::Done},
        {"set and list, damaged and a gap", kSet | kList, 5, L".x-.", L".001",
         L"Part 2 is damaged and part 3 missing; the recovery data can rebuild both (4 of 5 "
         L"blocks needed)",
         L"damaged (slices 2)", OperationOutcome::Damaged, nullptr,
         L"All 4 parts are good (SHA-256, PAR2)"},
        {"set, too few blocks", kSet, 5, L"---.", L".004",
         L"3 parts missing: the set cannot be rebuilt yet: 4 more recovery blocks needed",
         L"missing", OperationOutcome::Incomplete},
        {"set, cut short", kSet, 5, L".s..", L".001",
         L"Part 2 has the wrong size; the recovery data can rebuild it (3 of 5 blocks needed)",
         L"wrong size", OperationOutcome::Incomplete, nullptr, L"All 4 parts are good (PAR2)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir folder(L"check");
        const std::wstring whole = folder / L"c.bin";
        std::vector<SetFile> files;
        std::vector<uint8_t> all;
        for (unsigned i = 0; i < 4; ++i) {
            files.push_back({PartName(L"c.bin", i + 1), MakePattern(sizes[i], i + 11)});
            all.insert(all.end(), files[i].data.begin(), files[i].data.end());
        }
        ASSERT_TRUE(!(row.sides & kSet) || MakeRecoverySet(whole, files, kSlice, row.blocks));
        ASSERT_TRUE(!(row.sides & kList) || WriteText(whole + L".sha256", ChecksumLines(files)));
        ASSERT_TRUE(!(row.sides & kWholeLine) ||
                    WriteText(whole + L".sha256", SystemSha256(all) + "  c.bin\n"));
        ASSERT_TRUE(!(row.sides & kBadList) || WriteText(whole + L".sha256", "not a list\n"));
        std::string sfv;
        for (const SetFile& file : files)
            sfv += Narrow(file.name) + " " + CrcHex(file.data) + "\n";
        ASSERT_TRUE(!(row.sides & kSfv) || WriteText(whole + L".sfv", sfv));
        for (unsigned i = 0; i < 4; ++i) {
            std::vector<uint8_t> data = files[i].data;
            data[kSlice + 10] ^= row.damage[i] == L'x';
            data.resize(data.size() - (row.damage[i] == L's' ? 100 : 0));
            ASSERT_TRUE(row.damage[i] == L'-' || WriteWholeFile(folder / files[i].name, data));
        }
        const auto before = Listing(folder.Path());

        RecordingDisplay shown;
        CheckOperation check(shown);
        check.Start(Wide(whole + row.from));
        ASSERT_TRUE(RunToEnd(check));
        EXPECT_EQ(check.State(), OperationState::Done) << Narrow(shown.statusBar);
        EXPECT_EQ(check.Outcome(), row.outcome);
        EXPECT_EQ(shown.status, row.summary);
        EXPECT_EQ(shown.endedMessages, 1);
        EXPECT_EQ(shown.statusBar, (row.note ? row.note : L"") + whole);
        // The report: the summary, then a line a part.
        WideString report;
        check.Verdict().Report(L"c.bin", report);
        const std::wstring text = report.Text();
        const std::wstring size =
            row.damage[1] == L'-' ? L"" : std::to_wstring(before.at(L"c.bin.002"));
        EXPECT_EQ(text.substr(0, wcslen(row.summary) + 2), row.summary + std::wstring(L"\r\n"));
        EXPECT_NE(text.find(L"\r\nc.bin.002\t" + size + L"\t" + row.part2 + L"\r\nc.bin.003\t"),
                  std::wstring::npos)
            << Narrow(text);
        EXPECT_EQ(Listing(folder.Path()), before);
        EXPECT_EQ(shown.actionId, row.repaired ? kCommandRepair : kCommandFind);
        check.OnCommand(kCommandRepair);
        if (row.repaired) {
            // Rebuilt where they lie and checked again; a part that was there is kept aside, and
            // nothing else is left: no joined file, no temporaries.
            ASSERT_TRUE(RunToEnd(check));
            EXPECT_EQ(check.Outcome(), OperationOutcome::Done);
            EXPECT_EQ(shown.status, row.repaired);
            auto after = before;
            for (unsigned i = 0; i < 4; ++i) {
                EXPECT_TRUE(Holds(folder / files[i].name, files[i].data)) << i;
                if (row.damage[i] != L'.' && row.damage[i] != L'-')
                    after[files[i].name + L".damaged"] = before.at(files[i].name);
                after[files[i].name] = static_cast<DWORD>(sizes[i]);
            }
            EXPECT_EQ(Listing(folder.Path()), after);
        }
        // Asked again, or where nothing can be rebuilt, there is nothing to repair.
        check.OnCommand(kCommandRepair);
        EXPECT_EQ(check.State(), OperationState::Done);
        check.Abort();
    }
}

// A list that names a part far past any set of the parts there, in each kind of file: the check
// refuses at once, without a row or a record made for each number in between.
TEST_F(CheckOperationTest, APartNumberPastAnySetIsRefused) {
    const std::pair<std::wstring, std::string> files[] = {
        {L".sha256", std::string(64, '0') + "  c.bin.99999999\n"},
        {L".sfv", "c.bin.99999999 00000000\n"},
    };
    for (const auto& [tail, text] : files) {
        SCOPED_TRACE(Narrow(tail));
        TempDir folder(L"check");
        const std::wstring whole = folder / L"c.bin";
        MakeParts(whole, {5000, 5000}, 3);
        ASSERT_TRUE(WriteText(whole + tail, text));
        RecordingDisplay shown;
        CheckOperation check(shown);
        check.Start(Wide(whole + L".001"));
        EXPECT_EQ(check.State(), OperationState::Failed);
        EXPECT_EQ(check.Outcome(), OperationOutcome::Refused);
        EXPECT_EQ(shown.statusBar,
                  ErrorText(L"A file beside c.bin names part 99999999, past any set of its parts",
                            ERROR_INVALID_DATA));
        check.Abort();
    }
}

} // namespace
