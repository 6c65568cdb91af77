// The main window's recording settings: what each control writes into the engine, and the
// routine that pushes all of them at once before a recording starts.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <memory>
#include <utility>

#include "engine/Utf16.h"
#include "ui/IntegerText.h"
#include "ui/Unit1.h"
#include "ui/UpDown.h"

namespace orvenna {
namespace {

// Runs `handler` when `field` loses the keyboard focus.
class FocusOutWatcher final : public QObject {
 public:
  FocusOutWatcher(QLineEdit* field, std::function<void()> handler)
      : QObject(field), handler_(std::move(handler)) {
    field->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusOut) handler_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> handler_;
};

std::uint8_t LowByte(int value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

void TfrmMain::ConnectSettingsHandlers() {
  const auto guarded = [this](void (TfrmMain::*handler)()) {
    return [this, handler] { Guarded([&] { (this->*handler)(); }); };
  };
  connect(RadioGroup1Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) Guarded([this] { RadioGroup1Click(); });
  });
  // A click on the type already selected toggles nothing; it runs the handler all the same,
  // which sets the region's fields again.
  const auto pressedChecked = std::make_shared<bool>(false);
  connect(RadioGroup1Items, &QButtonGroup::idPressed, this, [this, pressedChecked](int id) {
    *pressedChecked = RadioGroup1Items->button(id)->isChecked();
  });
  connect(RadioGroup1Items, &QButtonGroup::idClicked, this, [this, pressedChecked](int) {
    if (std::exchange(*pressedChecked, false)) Guarded([this] { RadioGroup1Click(); });
  });
  connect(CheckBox1, &QCheckBox::toggled, this, guarded(&TfrmMain::CheckBox1Click));
  connect(CheckBox3, &QCheckBox::toggled, this, guarded(&TfrmMain::CheckBox3Click));
  connect(CheckBox4, &QCheckBox::toggled, this, guarded(&TfrmMain::CheckBox4Click));
  connect(CheckBox5, &QCheckBox::toggled, this, guarded(&TfrmMain::CheckBox5Click));
  connect(CheckBox6, &QCheckBox::toggled, this, guarded(&TfrmMain::CheckBox6Click));
  connect(CheckBox8, &QCheckBox::toggled, this, guarded(&TfrmMain::CheckBox8Click));
  connect(CheckBox9, &QCheckBox::toggled, this, guarded(&TfrmMain::CheckBox9Click));
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, guarded(&TfrmMain::ComboBox1Change));
  connect(ComboBox2, &QComboBox::currentIndexChanged, this, guarded(&TfrmMain::ComboBox2Change));
  connect(ComboBox3, &QComboBox::currentIndexChanged, this, guarded(&TfrmMain::ComboBox3Change));
  connect(Edit1, &QLineEdit::textChanged, this, guarded(&TfrmMain::Edit1Change));
  connect(Edit2, &QLineEdit::textChanged, this, guarded(&TfrmMain::Edit2Change));
  connect(Edit3, &QLineEdit::textChanged, this, guarded(&TfrmMain::Edit3Change));
  connect(Edit4, &QLineEdit::textChanged, this, guarded(&TfrmMain::Edit4Change));
  for (QLineEdit* field : {Edit5, Edit6, Edit7}) {
    new FocusOutWatcher(field, [this, field] { Guarded([&] { Edit5Change(field); }); });
  }
}

void TfrmMain::RadioGroup1Click() {
  if (!engine_ || engine_->Recording()) return;
  TVistrel& engine = *engine_;
  engine.SetPriority(ComboBox1->currentIndex());
  engine.SetFilterColor(ComboBox2->currentIndex());
  engine.SetColors(ComboBox3->currentIndex());
  engine.SetRecordCursor(CheckBox1->isChecked());
  engine.SetOvelayDrawing(false);
  engine.SetDrawAreaCapture(CheckBox3->isChecked());
  engine.SetLineRectClear(CheckBox4->isChecked());
  engine.SetMinimizeAppOnStart(CheckBox5->isChecked());
  engine.SetRestoreAppOnStop(CheckBox6->isChecked());
  engine.SetShowPreview(CheckBox8->isChecked());
  StoreCaptureTimer();
  ApplyRegionType(RadioGroup1Items->checkedId());
  MatchUpDownsToFields();
  SayRecordedSize();
}

void TfrmMain::SayRecordedSize() {
  // The region of a picked window or a free-hand one is known only once picked.
  if (!engine_ || engine_->ScreenRegion() == TScreenRegion::SelObject ||
      engine_->ScreenRegion() == TScreenRegion::FreeHand)
    return;
  const int selected = engine_->SelectedCompressor();
  if (selected < 0 || selected >= engine_->CompressorCount()) return;
  const std::string note =
      RoundedSizeNote(engine_->CompressorFitOf(selected), engine_->RecordedRegionSize(),
                      Utf16FieldToUtf8(engine_->CompressorTable()[selected].szName, 16));
  if (!note.empty() && SessionNote->text() != QString::fromStdString(note))
    ShowNotes({{QString::fromStdString(note), QString::fromStdString(note)}});
}

void TfrmMain::ApplyRegionType(int item) {
  if (item < 0 || !engine_) return;
  TVistrel& engine = *engine_;
  const bool fixedRegion = item == 2 || item == 3;
  Edit1->setEnabled(item == 3);
  Edit2->setEnabled(item == 3);
  Edit3->setEnabled(fixedRegion);
  Edit4->setEnabled(fixedRegion);
  CheckBox3->setEnabled(item != 4);
  CheckBox4->setEnabled(item != 4);
  if (fixedRegion) {
    engine.SetScreenTop(StrToInt(Edit1->text()));
    engine.SetScreenLeft(StrToInt(Edit2->text()));
    engine.SetScreenWidth(StrToInt(Edit3->text()));
    engine.SetScreenHeight(StrToInt(Edit4->text()));
  }
  static constexpr TScreenRegion kRegionOfItem[] = {
      TScreenRegion::SelObject, TScreenRegion::FreeHand, TScreenRegion::FixedMoving,
      TScreenRegion::FixedStable, TScreenRegion::FullScreen};
  engine.SetScreenRegion(kRegionOfItem[item]);
}

void TfrmMain::MatchUpDownsToFields() {
  UpDownTop->setEnabled(Edit1->isEnabled());
  UpDownLeft->setEnabled(Edit2->isEnabled());
  UpDownWidth->setEnabled(Edit3->isEnabled());
  UpDownHeight->setEnabled(Edit4->isEnabled());
}

void TfrmMain::StoreCaptureTimer() {
  TCaptureTimer timer;
  timer.Enabled = CheckBox9->isChecked();
  timer.Hours = LowByte(StrToInt(Edit5->text()));
  timer.Minutes = LowByte(StrToInt(Edit6->text()));
  timer.Seconds = LowByte(StrToInt(Edit7->text()));
  captureTimer_ = timer;
  if (engine_) engine_->SetCaptureTimer(captureTimer_);
}

void TfrmMain::CheckBox1Click() {
  if (engine_) engine_->SetRecordCursor(CheckBox1->isChecked());
}

void TfrmMain::CheckBox3Click() {
  if (engine_) engine_->SetDrawAreaCapture(CheckBox3->isChecked());
}

void TfrmMain::CheckBox4Click() {
  if (engine_) engine_->SetLineRectClear(CheckBox4->isChecked());
}

void TfrmMain::CheckBox5Click() {
  if (engine_) engine_->SetMinimizeAppOnStart(CheckBox5->isChecked());
}

void TfrmMain::CheckBox6Click() {
  if (engine_) engine_->SetRestoreAppOnStop(CheckBox6->isChecked());
}

void TfrmMain::CheckBox8Click() {
  if (CheckBox8->isChecked() && engine_ && !engine_->ShowPreview()) {
    if (!ShareScreenForRegion()) {
      CheckBox8->setChecked(false);  // runs this handler again, which turns the preview off
      return;
    }
    SayLimitsOnce();
  }
  RadioGroup1Click();
  if (engine_) engine_->SetShowPreview(CheckBox8->isChecked());
  ReleaseScreenWhenIdle();
}

void TfrmMain::CheckBox9Click() {
  StoreCaptureTimer();
  const bool on = CheckBox9->isChecked();
  for (QWidget* control :
       std::initializer_list<QWidget*>{Edit5, UpDown1, Edit6, UpDown2, Edit7, UpDown3}) {
    control->setEnabled(on);
  }
}

void TfrmMain::ComboBox1Change() {
  if (engine_) engine_->SetPriority(ComboBox1->currentIndex());
}

void TfrmMain::ComboBox2Change() {
  if (engine_) engine_->SetFilterColor(ComboBox2->currentIndex());
}

void TfrmMain::ComboBox3Change() {
  if (engine_) engine_->SetColors(ComboBox3->currentIndex());
}

void TfrmMain::Edit5Change(QLineEdit* field) {
  if (field->text().isEmpty()) field->setText(QStringLiteral("0"));
  StoreCaptureTimer();
}

void TfrmMain::Edit1Change() {
  RegionFieldChange(Edit1, UpDownTop, ScreenHeight(), &TVistrel::SetScreenTop);
}

void TfrmMain::Edit2Change() {
  RegionFieldChange(Edit2, UpDownLeft, ScreenWidth(), &TVistrel::SetScreenLeft);
}

// A change of size may make the compressor round the region (the position never does).
void TfrmMain::Edit3Change() {
  RegionFieldChange(Edit3, UpDownWidth, ScreenWidth(), &TVistrel::SetScreenWidth);
  SayRecordedSize();
}

void TfrmMain::Edit4Change() {
  RegionFieldChange(Edit4, UpDownHeight, ScreenHeight(), &TVistrel::SetScreenHeight);
  SayRecordedSize();
}

void TfrmMain::RegionFieldChange(QLineEdit* field, TUpDown* upDown, int bound,
                                 void (TVistrel::*write)(int)) {
  // Setting the text runs this handler again with the new text, which does the rest.
  if (field->text().isEmpty()) {
    field->setText(QStringLiteral("0"));
    return;
  }
  upDown->SetMax(bound);
  const int value = StrToInt(field->text());
  // A pasted number outside the field's range becomes its nearest end: 0 (the arrows'
  // minimum) for a negative one, the screen's size for a larger one.
  if (value < 0 || value > bound) {
    field->setText(QString::number(value < 0 ? 0 : bound));
    return;
  }
  if (engine_) ((*engine_).*write)(value);
}

void TfrmMain::ShowRegion(const TVistrel& engine) {
  const auto show = [](QLineEdit* field, int value) {
    bool isNumber = false;
    if (field->hasFocus() || (field->text().toInt(&isNumber) == value && isNumber)) return;
    field->setText(QString::number(value));
  };
  show(Edit1, engine.ScreenTop());
  show(Edit2, engine.ScreenLeft());
  show(Edit3, engine.ScreenWidth());
  show(Edit4, engine.ScreenHeight());
}

void TfrmMain::FormActivate() {
  UpDownTop->SetMax(ScreenHeight());
  UpDownLeft->SetMax(ScreenWidth());
  UpDownWidth->SetMax(ScreenWidth());
  UpDownHeight->SetMax(ScreenHeight());
}

int TfrmMain::ScreenWidth() const {
  return screen_.ScreenSize().width;
}

int TfrmMain::ScreenHeight() const {
  return screen_.ScreenSize().height;
}

}  // namespace orvenna
