// Work items: a routine queued at up to dispatch level runs later, at passive
// level, on the system's worker thread, one item after another in the order
// queued. A work item may be queued again once its routine has started, and
// its routine may free it. Under a manual clock, a settle returns only once
// the worker has run every item it can and is waiting again.
#pragma once

#include <cstddef>

namespace kernel {

class WorkItem;
using WorkItemRoutine = void (*)(void* context);

// Null when the pool refuses the item.
WorkItem* allocateWorkItem();
// Freeing an item that is queued and not yet started fails a check.
void freeWorkItem(WorkItem* item);

// Queuing an item that is already queued fails a check.
void queueWorkItem(WorkItem& item, WorkItemRoutine routine, void* context);

// Waits until every queued item has run (below dispatch level, not from the
// worker itself).
void drainWorkItems();

// Items queued and not yet finished.
std::size_t pendingWorkItems();

} // namespace kernel
