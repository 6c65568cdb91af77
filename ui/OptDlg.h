#pragma once

#include <QDialog>

#include "platform/Shell.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace orvenna {

class TfrmMain;
class TVistrel;
struct AudioInputInfo;

// The options dialog: video compressor, its quality and key-frame interval, record interval
// and playback rate, and the audio settings (format, input line, input volume). Created once
// after the main window and kept hidden between uses; the main window's Options button shows
// it modally.
//
// It keeps no settings of its own: each showing reads the lists and values from the main
// window's engine, and OK writes them back. The input line and its volume are the exception:
// they go to the system mixer as soon as they change, whether the dialog is confirmed or not.
// Audio Record and Full Auto Mode are not read from the engine; they keep what the user last
// left them at. Once the main window has let go of its engine, the dialog reads and writes
// nothing. UI thread only.
class TfrmOption final : public QDialog {
 public:
  // `owner` must outlive the dialog; the dialog is centred over it at every showing.
  explicit TfrmOption(TfrmMain& owner);

  // Group "Video / Audio Settings".
  QGroupBox* Compressor;
  QLabel* Label8;
  QComboBox* VideoCompressor;
  QPushButton* AboutB;
  QPushButton* ConfigB;
  QLabel* Label1;
  QSlider* VideoQuality;
  QLabel* LabelQuality;
  QCheckBox* AudioRecord;
  QLabel* Label9;
  QComboBox* AudioFormat;
  QLabel* Label11;
  QComboBox* AudioInput;
  QLabel* Label10;
  QSlider* AudioVolume;
  QLabel* LabelVolume;

  // Group "Video Frame Parameters :".
  QGroupBox* GroupBox1;
  QCheckBox* AutoMode;
  QLabel* Label12;
  QSlider* TrackBarRecord;
  QLabel* Label6;
  QLabel* labelmspFrecord;
  QLabel* Label4;
  QLabel* Label2;
  QLineEdit* EditKeyFrames;
  QLabel* Label3;
  QLabel* Label13;
  QSlider* TrackBarPlayback;
  QLabel* Label5;
  QLabel* labelFPSPlayback;
  QLabel* Label7;

  // Forgets the screen the desktop shares (shown where it shares its screen on request).
  QPushButton* ChooseScreenB;
  QPushButton* Button2;  // OK: the default button
  QPushButton* Button3;  // Cancel: also Esc

  // Handlers. The slider handlers run on every change of their slider's position, whoever
  // made it; the two list handlers only on a selection by the user.
  void FormShow();
  void VideoCompressorClick();
  void AboutBClick();
  void ConfigBClick();
  void VideoQualityChange();
  void AudioVolumeChange();
  void TrackBarRecordChange();
  void TrackBarPlaybackChange();
  void AutoModeClick();
  void AudioRecordClick();
  void AudioInputClick();
  // The desktop's chooser shows again at the next monitor sharing.
  void ChooseScreenBClick();
  // Writes every value to the engine and closes the dialog. A key-frame field that holds no
  // number is reported in an error box; the compressor and quality are written by then, the
  // values after the key-frame interval are not, and the dialog still closes.
  void Button2Click();
  void Button3Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void ConnectHandlers();
  void RefreshCompressorButtons();
  void RefreshLabels();
  // The volume slider after the selected input line: its volume, or 0 and disabled when the
  // line has no volume that could be read. `enable`: a line with a volume enables the slider.
  void ShowInputVolume(const AudioInputInfo& inputs, bool enable);
  void CentreOverOwner();
  TVistrel* Engine() const;
  // The dialog's window, as parent of the compressor's own dialogs.
  WindowHandle WindowForCompressor();

  TfrmMain& owner_;
  // The selected input line's volume was read: only then does the volume slider stand for
  // the line's volume and may be written to it.
  bool inputVolumeKnown_ = false;
  // The slider position that the line's volume already matches, as read or as last written:
  // only another position is written, so that showing the dialog or moving another slider
  // never lowers a volume above the slider's 100 % or undoes a change made elsewhere.
  int volumeOnLine_ = -1;
};

}  // namespace orvenna
