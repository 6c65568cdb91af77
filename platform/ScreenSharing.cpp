#include "platform/ScreenSharing.h"

#include <atomic>
#include <thread>

namespace orvenna {

ShareOutcome ShareWhileServingEvents(ScreenSharing& sharing, Shell& shell, SharedSource source,
                                     std::string& problem) {
  std::atomic<bool> done = false;
  ShareOutcome outcome = ShareOutcome::Failed;
  std::thread asking([&] {
    outcome = sharing.Share(source, problem);
    done = true;
  });
  shell.ProcessEventsUntil([&done] { return done.load(); });
  asking.join();
  return outcome;
}

}  // namespace orvenna
