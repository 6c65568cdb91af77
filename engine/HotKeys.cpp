#include "engine/Vistrel.h"

namespace orvenna {

void TVistrel::CancelLikeEsc(bool restoreAppOnStop) {
  ProcessState& process = Process();
  process.StopRequest = TStopRequest::Cancel;
  OnUiThread([this] {
    if (freeHandWindow_) freeHandWindow_->Close(ModalResult::Cancel);
    if (objectPicker_) {
      objectPicker_->StopTimer();
      objectPicker_->Close(ModalResult::Cancel);
    }
  });
  process.PendingStart = false;
  if ((ShowPreview() || Recording()) && restoreAppOnStop) platform_.shell.RestoreApplication();
  if (ShowPreview() && !Recording()) SetShowPreview(false);
}

void TVistrel::HotKeyPressed(int id) {
  CheckUiThread("HotKeyPressed");
  if (id != FHotKey1 && id != FHotKey2 && id != FHotKey3) return;
  if (id == FHotKey1) Process().StopRequest = TStopRequest::Stop;
  if (id == FHotKey2) CancelLikeEsc(RestoreAppOnStop());
  if (id == FHotKey3 && objectPicker_) {
    objectPicker_->StopTimer();
    const Rect region = Region();
    const bool picked = region.width != 0 && region.height != 0;
    objectPicker_->Close(picked ? ModalResult::Ok : ModalResult::Cancel);
  }
  EndRecordingFromOutside();
}

}  // namespace orvenna
