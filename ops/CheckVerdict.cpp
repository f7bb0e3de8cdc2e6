#include "ops/CheckVerdict.h"

#include "ops/PartNaming.h"

#include <algorithm>

bool CheckVerdict::Reset(uint32_t partCount) {
    rows.Clear();
    badSlices.Clear();
    hasRecovery = false;
    wholeDamaged = false;
    needed = available = more = 0;
    if (partCount > 0x7fffffffu || !rows.ResizeUp(static_cast<int32_t>(partCount)))
        return false;
    for (Row& row : rows)
        row = Row{State::Missing, 0};
    return true;
}

void CheckVerdict::Set(uint32_t number, State state, uint64_t size) {
    rows[static_cast<int32_t>(number) - 1] = Row{state, size};
}

bool CheckVerdict::AddBadSlices(uint32_t number, int32_t first, int32_t last) {
    return badSlices.Append(SliceRun{number, first, last});
}

void CheckVerdict::SetRecovery(int32_t neededBlocks, int32_t availableBlocks, int32_t moreBlocks) {
    hasRecovery = true;
    needed = neededBlocks;
    available = availableBlocks;
    more = moreBlocks;
}

int32_t CheckVerdict::Count(State state) const {
    int32_t n = 0;
    for (const Row& row : rows)
        n += row.state == state ? 1 : 0;
    return n;
}

uint32_t CheckVerdict::First(State state) const {
    for (int32_t i = 0; i < rows.Count(); ++i) {
        if (rows[i].state == state)
            return static_cast<uint32_t>(i) + 1;
    }
    return 0;
}

void CheckVerdict::AppendProblem(WideString& text, State state, const wchar_t* one,
                                 const wchar_t* many, bool& first) const {
    const int32_t n = Count(state);
    if (n == 0)
        return;
    if (!first)
        text.AppendFormat(L"%s", L" and ");
    first = false;
    if (n == 1)
        text.AppendFormat(one, First(state));
    else
        text.AppendFormat(many, n);
}

void CheckVerdict::Summary(WideString& text) const {
    const int32_t total = rows.Count();
    const int32_t good = Count(State::Good);
    const int32_t missing = Count(State::Missing);
    const int32_t unvouched = Count(State::NotVouched);
    const int32_t damaged = Count(State::Damaged);
    const int32_t wrong = Count(State::WrongSize);
    // Later parts missing and none before them: the set is still arriving.
    const uint32_t firstMissing = First(State::Missing);
    const bool arriving = missing > 0 && firstMissing == static_cast<uint32_t>(total - missing) + 1;
    text.Format(L"%s", L"");
    if (missing == 0 && wrong == 0 && damaged == 0) {
        if (wholeDamaged)
            text.Format(L"The %d parts do not make the file (%s)", total, vouchers.Text());
        else if (unvouched == 0)
            text.Format(L"All %d parts are good (%s)", total, vouchers.Text());
        else if (good == 0)
            text.Format(L"%d parts, none vouched for", total);
        else
            text.Format(L"All %d parts present; %d good (%s), %d not vouched for", total, good,
                        vouchers.Text(), unvouched);
        return;
    }
    bool first = true;
    if (arriving) {
        const int32_t present = total - missing;
        text.Format(L"%d of %d parts present", present, total);
        if (good == present)
            text.AppendFormat(L", all good (%s)", vouchers.Text());
        else if (unvouched == present)
            text.AppendFormat(L"%s", L", none vouched for");
        else if (damaged + wrong != 0)
            text.AppendFormat(L"%s", L"; ");
    }
    AppendProblem(text, State::Damaged, L"part %u is damaged", L"%d parts damaged", first);
    if (!arriving)
        AppendProblem(text, State::Missing, L"part %u missing", L"%d parts missing", first);
    AppendProblem(text, State::WrongSize, L"part %u has the wrong size",
                  L"%d parts of the wrong size", first);
    if (text.Length() != 0 && text.Buffer()[0] == L'p')
        text.Buffer()[0] = L'P';
    if (!hasRecovery)
        return;
    const int32_t broken = damaged + missing + wrong;
    if (more > 0) {
        text.AppendFormat(L": the set cannot be rebuilt yet: %d more recovery blocks needed", more);
    } else if (needed > 0) {
        if (broken == 1)
            text.AppendFormat(L"%s", L"; the recovery data can rebuild it");
        else if (broken == 2)
            text.AppendFormat(L"%s", L"; the recovery data can rebuild both");
        else
            text.AppendFormat(L"; the recovery data can rebuild all %d", broken);
        text.AppendFormat(L" (%d of %d blocks needed)", needed, available);
    }
}

void CheckVerdict::StateText(uint32_t number, WideString& text) const {
    static const wchar_t* const kWords[] = {L"good", L"damaged", L"missing", L"wrong size",
                                            L"not vouched for"};
    const Row& row = RowOf(number);
    text.Format(L"%s", kWords[static_cast<int32_t>(row.state)]);
    bool first = true;
    // The runs come part by part: those of this part are found without a walk from the first.
    const SliceRun* run =
        std::lower_bound(badSlices.begin(), badSlices.end(), number,
                         [](const SliceRun& r, uint32_t n) { return r.number < n; });
    for (; run != badSlices.end() && run->number == number; ++run) {
        text.AppendFormat(first ? L" (slices %d" : L", %d", run->first + 1);
        if (run->last != run->first)
            text.AppendFormat(L"-%d", run->last + 1);
        first = false;
    }
    if (!first)
        text.AppendFormat(L"%s", L")");
}

void CheckVerdict::Report(const wchar_t* wholeName, WideString& text,
                          const wchar_t* lineEnd) const {
    Summary(text);
    text.AppendFormat(L"%s", lineEnd);
    WideString partName;
    WideString state;
    for (uint32_t number = 1; number <= PartCount(); ++number) {
        PartPath(wholeName, number, partName);
        StateText(number, state);
        if (RowOf(number).state == State::Missing)
            text.AppendFormat(L"%s\t\t%s%s", partName.Text(), state.Text(), lineEnd);
        else
            text.AppendFormat(L"%s\t%llu\t%s%s", partName.Text(), RowOf(number).size, state.Text(),
                              lineEnd);
    }
}

OperationOutcome CheckVerdict::Outcome() const {
    if (wholeDamaged || Count(State::Damaged) != 0)
        return OperationOutcome::Damaged;
    if (Count(State::Missing) != 0 || Count(State::WrongSize) != 0)
        return OperationOutcome::Incomplete;
    return OperationOutcome::Done;
}
