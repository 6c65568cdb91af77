#pragma once

namespace orvenna {

// Kernel identifier of the calling thread. Any thread.
int CurrentThreadId();

// Sets the scheduling priority of thread `threadId` to one of seven levels: 0 idle, 1 lowest,
// 2 lower, 3 normal, 4 higher, 5 highest, 6 time-critical. Levels above normal need privileges
// the user may not have; without them the thread silently keeps its priority. Other levels
// are ignored. Any thread.
void SetThreadPriorityLevel(int threadId, int level);

}  // namespace orvenna
