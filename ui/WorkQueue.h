#pragma once

#include "app/Application.h"
#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/OperationOutcome.h"

#include <cstdint>

// Where a file of the queue stands.
enum class QueueItemState : int32_t {
    Waiting = 0,
    Current = 1, // its operation is the window's now
    Ended = 2,
};

struct QueueItem {
    RunMode mode;
    WideString path;
    QueueItemState state;
    OperationOutcome outcome; // once Ended
};

// The files the window works through, one at a time, in the order they came: the one of the
// launch that made the window, those later launches handed over, those dropped on it. It holds
// what became of each, and from that the window's exit code: the worst outcome.
class WorkQueue {
public:
    // More than this many files in one window are refused (the launch then works alone).
    static constexpr int32_t kMostItems = 1000;

    // Appends a waiting item; false when the queue is full or out of memory.
    bool Add(RunMode mode, const WideString& path);
    // Forgets every item.
    void Clear();

    int32_t Count() const { return items.Count(); }
    const QueueItem& Item(int32_t index) const { return items[index]; }
    // The index of the current item, -1 when there is none.
    int32_t Current() const { return current; }
    bool HasWaiting() const;
    // Makes the first waiting item current (the current one must have ended); its index, or -1.
    int32_t BeginNext();
    // The current item ended so.
    void EndCurrent(OperationOutcome outcome);
    // The last file ended anew, as a check does after its repair: its outcome now.
    void RetellLast(OperationOutcome outcome);
    // The last file, ended, is worked on again (in another folder): it is current once more.
    // False where another is current or none has ended.
    bool ReopenLast();
    int32_t CountEnded(OperationOutcome outcome) const;

    // The worst of the ended items' outcomes, the current one's (as given) and Cancelled where
    // anything still waits.
    OperationOutcome Outcome(OperationOutcome currentOutcome) const;
    // Percent of the whole queue, with the current item at its own percent.
    float Percent(float currentPercent) const;

    // "a.bin - done", "b.bin - waiting" and so on: the item's line in the window's list.
    void LineText(int32_t index, WideString& text) const;
    // "2 of 3 files done. Not done: b.bin" once every item has ended.
    void Summary(WideString& text) const;

    // The mode of a file handed to the window without one (dropped on it): a .001 is joined, and
    // so is the set of a .sha256 or .par2 list (volumes included), through its .001; any other
    // file is split. The path to work on goes to target.
    static RunMode ModeForFile(const WideString& file, WideString& target);

private:
    DynArray<QueueItem> items;
    int32_t current = -1;
    int32_t lastEnded = -1;
};
