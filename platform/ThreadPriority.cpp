#include "platform/ThreadPriority.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orvenna {

int CurrentThreadId() {
  return static_cast<int>(syscall(SYS_gettid));
}

void SetThreadPriorityLevel(int threadId, int level) {
  // Nice values for the seven levels; idle has a scheduling class of its own.
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
  if (threadId <= 0 || level < 0 || level > 6) return;
  sched_param param{};
  sched_setscheduler(threadId, level == 0 ? SCHED_IDLE : SCHED_OTHER, &param);
  setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), kNice[level]);
}

}  // namespace orvenna
