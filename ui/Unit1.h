#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Vistrel.h"
#include "platform/Platform.h"
#include "platform/ScreenRequests.h"
#include "platform/desktop/WaylandSession.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDialog;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace orvenna {

class TImage;
class TUpDown;

// The desktop the window records, as far as the window must know it.
struct RecordedDesktop {
  ScreenKind kind = ScreenKind::X11;
  // The screen sharing to ask before the screen is read; null where it can always be read.
  // It must outlive the window.
  ScreenRequests* sharing = nullptr;
  // Why the global keys (Shift+Esc, Esc, Ctrl+Enter) are not available; empty where they are.
  std::string hotKeysProblem;
};

// The main window: it owns the one engine, starts and stops recordings, carries the
// recording settings and pushes them to the engine, and shows what the engine reports
// (statistics, preview, progress of saving and removing temporary files, errors).
//
// Threads: the window, its controls and every handler run on the UI thread. The engine raises
// OnStart, OnUpdate, OnStop, OnSaving, OnDeleting and OnError on its recording thread as well;
// the handlers installed for them carry the work over to the UI thread and keep the recording
// thread waiting until it is done.
//
// On a desktop that shares its screen on request (Wayland), Start Recording and the preview
// first ask for the monitor (the window picker asks for a window itself), a refusal is said in
// the status bar or an error box, and the sharing ends once no recording and no preview reads
// it. What such a desktop does not allow is said once in the status bar where it matters.
//
// RecButClick and the settings handlers throw EConvertError when a number field holds no
// number, which ends the handler there; the controls' and the engine's connections catch it
// and show it in an error box.
class TfrmMain final : public QWidget {
 public:
  // Builds the controls, then the engine on `platform`, which must outlive the window.
  explicit TfrmMain(const Platform& platform, RecordedDesktop desktop = {},
                    QWidget* parent = nullptr);
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // The windows that the Options and About buttons show. They are made after the main window
  // and outlive it; null: the button shows nothing.
  void SetOptionsDialog(QDialog* dialog) { optionsDialog_ = dialog; }
  void SetAboutBox(QWidget* box) { aboutBox_ = box; }

  // The engine; null once the window has begun to close.
  TVistrel* Engine() const { return engine_.get(); }
  // The screen sharing asked before recording; null where the screen can always be read.
  ScreenRequests* Sharing() const { return desktop_.sharing; }

  // The process is ending on a broken display connection (the X server went away): windows
  // can no longer be shown, so the engine's events are dropped from now on, and a recording in
  // progress is stopped and saved. When the UI thread is inside work that the recording thread
  // waits for (a message box of its), that thread cannot go on: the recording is left to the
  // next start, which keeps it. Answers false in that case only. UI thread.
  bool SaveRecordingBeforeExit(bool uiThreadServesAnotherThread);

  // The program is asked to end (logout, shutdown, a closed terminal): a recording in
  // progress is stopped and saved as the Stop button does, a pick that waits is cancelled, and
  // then the window closes. UI thread.
  void StopAndClose();

  // The first showing centres the window on the screen.
  void setVisible(bool visible) override;

  // Raised once the window has closed and the engine is gone.
  std::function<void()> OnClosed;

  // Command buttons, output file, preview, statistics and status bar.
  QPushButton* RecBut;
  QPushButton* StopBut;
  QPushButton* Button4;
  QPushButton* VidOptBut;
  QLabel* Label12;
  QLineEdit* Edit8;
  QPushButton* Button3;
  QLabel* Label9;
  QFrame* Panel1;
  QLabel* Panel1Caption;
  TImage* Image1;
  QGroupBox* GroupBox2;
  QLabel* VideoCodec;
  QLabel* ElapsedTime;
  QLabel* AvrageCapture;
  QLabel* AvrageCaptured;
  QLabel* FramesCaptured;
  QLabel* DropedFrames;
  QPushButton* Button1;
  QPushButton* ExitBut;
  QFrame* Panel2;
  QLabel* LStatus;
  QPushButton* BCancel;
  QProgressBar* Progress;
  // Over the progress bar until the next save: what the desktop does not allow (in a Wayland
  // session), and a screen that was not shared.
  QLabel* SessionNote;
  QFileDialog* SaveDialog1;

  // Recording settings.
  QGroupBox* RadioGroup1;
  QButtonGroup* RadioGroup1Items;
  QLabel* Label2;
  QLineEdit* Edit1;
  TUpDown* UpDownTop;
  QLabel* Label3;
  QLineEdit* Edit2;
  TUpDown* UpDownLeft;
  QLabel* Label4;
  QLineEdit* Edit3;
  TUpDown* UpDownWidth;
  QLabel* Label5;
  QLineEdit* Edit4;
  TUpDown* UpDownHeight;
  QLabel* Label11;
  QComboBox* ComboBox2;
  QLabel* Label13;
  QComboBox* ComboBox3;
  QLabel* Label10;
  QComboBox* ComboBox1;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;
  QCheckBox* CheckBox5;
  QCheckBox* CheckBox6;
  QCheckBox* CheckBox8;
  QGroupBox* GroupBox1;
  QCheckBox* CheckBox9;
  QLabel* Label6;
  QLineEdit* Edit5;
  TUpDown* UpDown1;
  QLabel* Label7;
  QLineEdit* Edit6;
  TUpDown* UpDown2;
  QLabel* Label8;
  QLineEdit* Edit7;
  TUpDown* UpDown3;

  // Handlers of the window's own controls.
  void RecButClick();
  void StopButClick();
  void ExitButClick();
  void VidOptButClick();
  void AboutButClick();
  void Button3Click();
  // Selects the save dialog's type whose files end in `suffix` ("mkv"), with its ending for
  // names typed without one; leaves the dialog as it is when no type has that ending.
  void SelectSaveType(const QString& suffix);
  void Button4Click();
  void BCancelClick();

  // Handlers of the engine's events; each expects to run on the UI thread.
  void EngineError(const std::string& errorMessage);
  void EngineUpdate(TVistrel& sender);
  void EngineStart();
  void EngineStop();
  void EnginePreview(TVistrel& sender, const PreviewBitmap* bitmap, bool preview, bool recording);
  void EngineSaving(int percent, const std::string& statusCaption, bool& continueWork);

  // Applies every setting of the window to the engine and sets which region fields can be
  // edited; does nothing while the engine records.
  void RadioGroup1Click();
  void CheckBox1Click();
  void CheckBox3Click();
  void CheckBox4Click();
  void CheckBox5Click();
  void CheckBox6Click();
  void CheckBox8Click();
  void CheckBox9Click();
  void ComboBox1Change();
  void ComboBox2Change();
  void ComboBox3Change();
  // Leaving a capture-timer field: an empty one becomes "0", then the timer is stored.
  void Edit5Change(QLineEdit* field);
  void Edit1Change();
  void Edit2Change();
  void Edit3Change();
  void Edit4Change();
  // Each activation: the region up-downs reach to the screen's edges.
  void FormActivate();

  // The window's copy of the capture timer, as last written into the engine.
  const TCaptureTimer& CaptureTimerRecord() const { return captureTimer_; }
  bool CancelRequested() const { return cancelRequested_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The about box goes and comes back with the minimised window, so that it is neither left
  // alone on the desktop nor recorded.
  void FollowMinimisedState();

 private:
  // Controls.
  void CreateControls();
  void CreateSettingsControls();
  void ConnectHandlers();
  void ConnectSettingsHandlers();
  // Runs a handler; a field that held no number is reported instead of ending it silently.
  void Guarded(const std::function<void()>& handler);
  void ShowConversionError(const QString& message);

  // Engine.
  void FormCreate(const Platform& platform);
  void InstallEngineHandlers();
  // Runs `work` on the UI thread and returns when it is done.
  void OnUiThread(const std::function<void()>& work);
  void ResetStatusBar();
  // Start Recording stays off until the previous recording's thread has ended.
  void EnableStartWhenSessionEnds();
  void ShowError(const QString& text);

  // Screen sharing (Unit1Sharing.cpp).
  void ConnectSharing();
  // Asks for the monitor before the selected region type reads it; a window is asked for by
  // the window picker. True when the screen can be read now.
  bool ShareScreenForRegion();
  void ScreenAnswered(ShareOutcome outcome, const std::string& problem);
  // Ends the sharing once no recording, pick or preview reads the screen.
  void ReleaseScreenWhenIdle();
  // Whether the desktop is being asked for its screen just now (its chooser may be open).
  bool SharingAsked() const { return desktop_.sharing != nullptr && desktop_.sharing->Asking(); }
  // Says in the status bar, once per run each, what this desktop does not allow of what a
  // recording or the preview is about to use.
  void SayLimitsOnce();
  struct Note {
    QString text;  // short, for the status bar
    QString why;   // in full, for its tooltip
  };
  void ShowNotes(const std::vector<Note>& notes);
  std::vector<Note> NotesNotSaid(const std::vector<Note>& notes);

  // Settings.
  void StoreCaptureTimer();
  void ApplyRegionType(int item);
  // The change of one region field: never empty, within `bound`, written by `write`.
  void RegionFieldChange(QLineEdit* field, TUpDown* upDown, int bound,
                         void (TVistrel::*write)(int));
  void MatchUpDownsToFields();
  // Says in the status bar when the selected compressor records the region at a rounded size.
  void SayRecordedSize();
  // The engine's region in Top, Left, Width and Height, many times a second while the preview
  // runs: a field is written only when its number changed, and never while the user edits it
  // (it has the focus), so that typing, selecting and pasting there are left alone.
  void ShowRegion(const TVistrel& engine);
  int ScreenWidth() const;
  int ScreenHeight() const;

  Screen& screen_;
  Shell& shell_;
  const RecordedDesktop desktop_;
  QTimer* screenWatch_ = nullptr;  // ends the sharing once nothing reads the screen
  QStringList notesSaid_;
  std::unique_ptr<TVistrel> engine_;
  bool cancelRequested_ = false;
  TCaptureTimer captureTimer_;
  QDialog* optionsDialog_ = nullptr;
  QWidget* aboutBox_ = nullptr;
  bool aboutHiddenByMinimise_ = false;  // shown again when the window is restored
  QWidget* body_ = nullptr;             // every control but the status bar
  QTimer* sessionWatch_ = nullptr;      // looks for the end of the recording thread
  QString lastSaveName_;                // the save dialog's last chosen file
  int handlersRunning_ = 0;             // engine handlers on the UI thread's stack just now
  bool closing_ = false;
  bool displayLost_ = false;
  bool placed_ = false;  // centred on the screen at its first showing
};

}  // namespace orvenna
