#include "ui/WorkQueue.h"

#include "ops/PartNaming.h"

#include <cwchar>
#include <cwctype>

namespace {

const wchar_t* OutcomeWord(OperationOutcome outcome) {
    switch (outcome) {
    case OperationOutcome::Done:
        return L"done";
    case OperationOutcome::Incomplete:
        return L"parts missing";
    case OperationOutcome::Damaged:
        return L"damaged";
    case OperationOutcome::Refused:
        return L"refused";
    case OperationOutcome::IoError:
        return L"I/O error";
    case OperationOutcome::Cancelled:
        return L"cancelled";
    default:
        return L"failed";
    }
}

// Whether text's last units are suffix, in any letter case; keeps the length before it.
bool EndsWith(const WideString& text, uint32_t end, const wchar_t* suffix, uint32_t& before) {
    const uint32_t length = static_cast<uint32_t>(std::wcslen(suffix));
    if (end < length)
        return false;
    for (uint32_t i = 0; i < length; ++i)
        if (std::towlower(text.Text()[end - length + i]) != suffix[i])
            return false;
    before = end - length;
    return true;
}

// Where ".vol<digits>+<digits>" ends the first end units of text, the length before it.
bool EndsWithVolume(const WideString& text, uint32_t end, uint32_t& before) {
    const wchar_t* p = text.Text();
    uint32_t i = end;
    const auto digitsBefore = [&](uint32_t at) {
        uint32_t start = at;
        while (start != 0 && p[start - 1] >= L'0' && p[start - 1] <= L'9')
            --start;
        return start;
    };
    i = digitsBefore(end);
    if (i == end || i == 0 || p[i - 1] != L'+')
        return false;
    const uint32_t plus = i - 1;
    i = digitsBefore(plus);
    if (i == plus)
        return false;
    return EndsWith(text, i, L".vol", before);
}

} // namespace

bool WorkQueue::Add(RunMode mode, const WideString& path) {
    if (items.Count() >= kMostItems || path.Length() == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    QueueItem item{mode, WideString(), QueueItemState::Waiting, OperationOutcome::Cancelled};
    item.path.Assign(path.Text(), path.Length());
    if (item.path.Length() != path.Length())
        return false;
    return items.Append(static_cast<QueueItem&&>(item));
}

void WorkQueue::Clear() {
    items.Clear();
    current = -1;
    lastEnded = -1;
}

bool WorkQueue::HasWaiting() const {
    for (const QueueItem& item : items)
        if (item.state == QueueItemState::Waiting)
            return true;
    return false;
}

int32_t WorkQueue::BeginNext() {
    for (int32_t i = 0; i < items.Count(); ++i) {
        if (items[i].state == QueueItemState::Waiting) {
            items[i].state = QueueItemState::Current;
            current = i;
            return i;
        }
    }
    return -1;
}

void WorkQueue::EndCurrent(OperationOutcome outcome) {
    if (current < 0)
        return;
    items[current].state = QueueItemState::Ended;
    items[current].outcome = outcome;
    lastEnded = current;
    current = -1;
}

void WorkQueue::RetellLast(OperationOutcome outcome) {
    if (current < 0 && lastEnded >= 0)
        items[lastEnded].outcome = outcome;
}

bool WorkQueue::ReopenLast() {
    if (current >= 0 || lastEnded < 0)
        return false;
    current = lastEnded;
    items[current].state = QueueItemState::Current;
    return true;
}

int32_t WorkQueue::CountEnded(OperationOutcome outcome) const {
    int32_t count = 0;
    for (const QueueItem& item : items)
        if (item.state == QueueItemState::Ended && item.outcome == outcome)
            ++count;
    return count;
}

OperationOutcome WorkQueue::Outcome(OperationOutcome currentOutcome) const {
    OperationOutcome worst = current >= 0 ? currentOutcome : OperationOutcome::Done;
    for (const QueueItem& item : items) {
        if (item.state == QueueItemState::Ended)
            worst = WorseOf(worst, item.outcome);
        else if (item.state == QueueItemState::Waiting)
            worst = WorseOf(worst, OperationOutcome::Cancelled);
    }
    return worst;
}

float WorkQueue::Percent(float currentPercent) const {
    if (items.Count() == 0)
        return 0.0f;
    float done = 0.0f;
    for (const QueueItem& item : items) {
        if (item.state == QueueItemState::Ended)
            done += 100.0f;
        else if (item.state == QueueItemState::Current)
            done += currentPercent;
    }
    return done / static_cast<float>(items.Count());
}

void WorkQueue::LineText(int32_t index, WideString& text) const {
    const QueueItem& item = items[index];
    WideString name;
    if (!FileNameOf(item.path.Text(), name))
        name.Assign(item.path.Text(), item.path.Length());
    const wchar_t* state = L"waiting";
    if (item.state == QueueItemState::Current)
        state = item.mode == RunMode::Split   ? L"splitting"
                : item.mode == RunMode::Check ? L"checking"
                                              : L"joining";
    else if (item.state == QueueItemState::Ended)
        state = OutcomeWord(item.outcome);
    text.Format(L"%s - %s", name.Text(), state);
}

void WorkQueue::Summary(WideString& text) const {
    const int32_t done = CountEnded(OperationOutcome::Done);
    text.Format(L"%d of %d files done.", done, items.Count());
    const wchar_t* separator = L" Not done: ";
    for (const QueueItem& item : items) {
        if (item.state == QueueItemState::Ended && item.outcome == OperationOutcome::Done)
            continue;
        WideString name;
        if (!FileNameOf(item.path.Text(), name))
            name.Assign(item.path.Text(), item.path.Length());
        text.AppendFormat(L"%s%s", separator, name.Text());
        separator = L", ";
    }
}

RunMode WorkQueue::ModeForFile(const WideString& file, WideString& target) {
    uint32_t stem = 0;
    if (EndsWith(file, file.Length(), L".001", stem)) {
        target.Assign(file.Text(), file.Length());
        return RunMode::Join;
    }
    bool list = EndsWith(file, file.Length(), L".sha256", stem);
    if (!list && EndsWith(file, file.Length(), L".par2", stem)) {
        list = true;
        uint32_t beforeVolume = 0;
        if (EndsWithVolume(file, stem, beforeVolume))
            stem = beforeVolume;
    }
    if (list && stem != 0) {
        target.Assign(file.Text(), stem);
        target.AppendFormat(L".001");
        return RunMode::Join;
    }
    target.Assign(file.Text(), file.Length());
    return RunMode::Split;
}
