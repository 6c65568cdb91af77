#include "platform/ScreenRequests.h"

#include <utility>

namespace orvenna {

ShareOutcome ScreenRequests::Share(SharedSource source) {
  std::string problem;
  ShareOutcome outcome = ShareOutcome::Failed;
  if (asking_) {
    problem = "the desktop is still asking which screen to share; answer its chooser first";
  } else if (source == SharedSource::Monitor && shared_ == SharedSource::Monitor &&
             sharing_.Sharing()) {
    return ShareOutcome::Shared;
  } else {
    asking_ = true;
    outcome = ShareWhileServingEvents(sharing_, shell_, source, problem);
    asking_ = false;
    shared_.reset();
    if (outcome == ShareOutcome::Shared) shared_ = source;
  }
  if (outcome != ShareOutcome::Shared && OnRefused) OnRefused(outcome, problem);
  if (outcome == ShareOutcome::Shared && !problem.empty() && OnNote) OnNote(problem);
  return outcome;
}

void ScreenRequests::StopSharing() {
  if (std::exchange(shared_, std::nullopt)) sharing_.StopSharing();
}

}  // namespace orvenna
