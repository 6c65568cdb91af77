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

// Held for the engine's whole life, Esc and Ctrl+Enter would be taken from every other
// program on the desktop: editors, dialogs and chat programs would stop hearing them. Esc and
// Shift+Esc are held while they can stop or cancel something; Ctrl+Enter only while the window
// picker is open, the one time it acts, so that during a recording it still reaches the program
// the user types into.
void TVistrel::UpdateHotKeys(bool release) {
  const bool stopKeysWanted = !release && (ShowPreview() || Recording() || Process().PendingStart ||
                                           freeHandWindow_ || objectPicker_);
  const bool confirmKeyWanted = !release && objectPicker_;
  if (stopKeysWanted != hotKeysHeld_) {
    hotKeysHeld_ = stopKeysWanted;
    if (stopKeysWanted) {
      // A key another program holds is simply not delivered.
      platform_.hotKeys.Register(FHotKey1, ModShift, VkEscape);
      platform_.hotKeys.Register(FHotKey2, 0, VkEscape);
    } else {
      platform_.hotKeys.Unregister(FHotKey1);
      platform_.hotKeys.Unregister(FHotKey2);
    }
  }
  if (confirmKeyWanted != confirmKeyHeld_) {
    confirmKeyHeld_ = confirmKeyWanted;
    if (confirmKeyWanted) {
      platform_.hotKeys.Register(FHotKey3, ModControl, VkReturn);
    } else {
      platform_.hotKeys.Unregister(FHotKey3);
    }
  }
}

void TVistrel::HotKeyPressed(int id) {
  CheckUiThread("HotKeyPressed");
  if (id != FHotKey1 && id != FHotKey2 && id != FHotKey3) return;
  if (id == FHotKey1) Process().StopRequest = TStopRequest::Stop;
  if (id == FHotKey2) {
    if (Recording()) cancelledByUser_.Set(true);
    CancelLikeEsc(RestoreAppOnStop());
  }
  if (id == FHotKey3) {
    // Confirms the window picker and nothing else: a recording goes on.
    if (objectPicker_) {
      objectPicker_->StopTimer();
      const Rect region = Region();
      const bool picked = region.width != 0 && region.height != 0;
      objectPicker_->Close(picked ? ModalResult::Ok : ModalResult::Cancel);
    }
    UpdateHotKeys();
    return;
  }
  EndRecordingFromOutside();
  UpdateHotKeys();
}

}  // namespace orvenna
