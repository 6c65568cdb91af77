// The main window's controls: their captions, initial states and places in the window.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include "platform/RecordingDefaults.h"
#include "platform/desktop/WaylandSession.h"
#include "ui/AppIcon.h"
#include "ui/DigitFilter.h"
#include "ui/PreviewImage.h"
#include "ui/Unit1.h"
#include "ui/UpDown.h"

namespace orvenna {
namespace {

constexpr int kClientWidth = 529;
constexpr int kClientHeight = 558;
constexpr int kStatusBarHeight = 48;
constexpr int kFieldHeight = 22;
constexpr int kButtonHeight = 25;

QPushButton* NewButton(QWidget* parent, const QString& caption, int left, int top, int width) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(left, top, width, kButtonHeight);
  return button;
}

QLabel* NewLabel(QWidget* parent, const QString& caption, int left, int top, int width) {
  auto* label = new QLabel(caption, parent);
  label->setGeometry(left, top, width, 16);
  return label;
}

QLineEdit* NewField(QWidget* parent, const QString& text, int left, int top, int width) {
  auto* field = new QLineEdit(text, parent);
  field->setGeometry(left, top, width, kFieldHeight);
  return field;
}

QCheckBox* NewCheckBox(QWidget* parent, const QString& caption, bool checked, int left, int top,
                       int width) {
  auto* box = new QCheckBox(caption, parent);
  box->setChecked(checked);
  box->setGeometry(left, top, width, 20);
  return box;
}

QComboBox* NewComboBox(QWidget* parent, const QStringList& items, int selected, int left, int top,
                       int width) {
  auto* box = new QComboBox(parent);
  box->addItems(items);
  box->setCurrentIndex(selected);
  box->setGeometry(left, top, width, kFieldHeight);
  return box;
}

// A number field that takes digits only, with its up-down at its right edge.
QLineEdit* NewNumberField(QWidget* parent, const QString& text, int left, int top, int width,
                          int max, TUpDown*& upDown) {
  QLineEdit* field = NewField(parent, text, left, top, width);
  DigitFilter::Attach(field);
  upDown = new TUpDown(field, max);
  return field;
}

// "avi" of "Avi File (*.avi)".
QString SuffixOfFilter(const QString& filter) {
  const qsizetype start = filter.indexOf(QStringLiteral("(*."));
  if (start < 0) return {};
  return filter.mid(start + 3, filter.indexOf(QLatin1Char(')'), start) - start - 3);
}

}  // namespace

void TfrmMain::CreateControls() {
  setWindowTitle(QStringLiteral("Orvenna"));
  setWindowIcon(AppIcon());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  QFont base = font();
  base.setPointSize(8);
  setFont(base);

  body_ = new QWidget(this);
  body_->setGeometry(0, 0, kClientWidth, kClientHeight - kStatusBarHeight);

  RecBut = NewButton(body_, QStringLiteral("Start Recording"), 8, 8, 112);
  StopBut = NewButton(body_,
                      desktop_.hotKeysProblem.empty() ? QStringLiteral("Stop (Shift + Esc)")
                                                      : QStringLiteral("Stop"),
                      8, 37, 112);
  StopBut->setEnabled(false);
  Button4 = NewButton(body_, QStringLiteral("Play"), 8, 66, 112);
  VidOptBut = NewButton(body_, QStringLiteral("Options"), 8, 95, 112);

  Label12 = NewLabel(body_, QStringLiteral("Save To File :"), 8, 164, 72);
  Edit8 = NewField(body_, QString(), 80, 160, 360);
  Button3 = NewButton(body_, QStringLiteral("Browse..."), 446, 158, 75);

  Label9 = NewLabel(body_, QStringLiteral("--------------"), 252, 192, 269);
  Panel1 = new QFrame(body_);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(252, 210, 269, 256);
  Panel1Caption = new QLabel(QStringLiteral("Preview Part..."), Panel1);
  Panel1Caption->setAlignment(Qt::AlignCenter);
  Panel1Caption->setGeometry(Panel1->contentsRect());
  Image1 = new TImage(Panel1);
  Image1->setGeometry(Panel1->contentsRect());

  GroupBox2 = new QGroupBox(QStringLiteral("Information"), body_);
  GroupBox2->setGeometry(8, 378, 236, 124);
  const QString blank = QStringLiteral("     ");
  VideoCodec = NewLabel(GroupBox2, QStringLiteral("     Awaiting Capture..."), 8, 18, 220);
  ElapsedTime = NewLabel(GroupBox2, blank, 8, 35, 220);
  AvrageCapture = NewLabel(GroupBox2, blank, 8, 52, 220);
  AvrageCaptured = NewLabel(GroupBox2, blank, 8, 69, 220);
  FramesCaptured = NewLabel(GroupBox2, blank, 8, 86, 220);
  DropedFrames = NewLabel(GroupBox2, blank, 8, 103, 220);

  Button1 = NewButton(body_, QStringLiteral("About"), 360, 474, 75);
  ExitBut = NewButton(body_, QStringLiteral("Exit"), 446, 474, 75);

  Panel2 = new QFrame(this);
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
  LStatus = NewLabel(Panel2, QStringLiteral("No Status"), 8, 5, 200);
  LStatus->setEnabled(false);
  BCancel = new QPushButton(QStringLiteral("Cancel"), Panel2);
  BCancel->setGeometry(8, 23, 64, 20);
  BCancel->setEnabled(false);
  Progress = new QProgressBar(Panel2);
  Progress->setGeometry(216, 14, 305, 20);
  Progress->setRange(0, 100);
  Progress->setValue(0);
  Progress->setTextVisible(false);
  // The X display recorded in a Wayland session holds only X11 windows; the user is told so once.
  SessionNote = new QLabel(Panel2);
  SessionNote->setGeometry(216, 2, 305, 44);
  SessionNote->setWordWrap(true);
  SessionNote->setAutoFillBackground(true);
  SessionNote->setText(QStringLiteral(
      "Wayland session, X display recorded: only X11 windows are recorded, Wayland windows come "
      "out black. Unset ORVENNA_SCREEN=x11 to record the desktop's shared screen."));
  SessionNote->setToolTip(QString::fromStdString(WaylandSessionNote(desktop_.kind)));
  SessionNote->setVisible(!SessionNote->toolTip().isEmpty());

  SaveDialog1 = new QFileDialog(this);
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  // The ending of a recording's name chooses its kind of file; AVI, the first, is the default.
  SaveDialog1->setNameFilters({QStringLiteral("Avi File (*.avi)"),
                               QStringLiteral("Matroska File (*.mkv)"),
                               QStringLiteral("MP4 File (*.mp4)")});
  SaveDialog1->setDefaultSuffix(QStringLiteral("avi"));
  SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
  // A name typed without an ending takes the ending of the type chosen in the dialog.
  connect(SaveDialog1, &QFileDialog::filterSelected, this,
          [this](const QString& filter) { SaveDialog1->setDefaultSuffix(SuffixOfFilter(filter)); });

  CreateSettingsControls();
}

void TfrmMain::SelectSaveType(const QString& suffix) {
  for (const QString& filter : SaveDialog1->nameFilters()) {
    const QString filterSuffix = SuffixOfFilter(filter);
    if (filterSuffix.compare(suffix, Qt::CaseInsensitive) != 0) continue;
    SaveDialog1->selectNameFilter(filter);
    SaveDialog1->setDefaultSuffix(filterSuffix);
    return;
  }
}

void TfrmMain::CreateSettingsControls() {
  RadioGroup1 = new QGroupBox(QStringLiteral("Select Region Type"), body_);
  RadioGroup1->setGeometry(128, 4, 258, 118);
  RadioGroup1Items = new QButtonGroup(RadioGroup1);
  const QStringList regionTypes{QStringLiteral("Fixed Region (Region From Windows)"),
                                QStringLiteral("Fixed Region (Free Hand Mode)"),
                                QStringLiteral("Fixed Region (Moving By Mouse)"),
                                QStringLiteral("Fixed Region (Stable)"),
                                QStringLiteral("Full Screen")};
  for (int i = 0; i < regionTypes.size(); ++i) {
    auto* item = new QRadioButton(regionTypes[i], RadioGroup1);
    item->setGeometry(8, 18 + 19 * i, 244, 18);
    RadioGroup1Items->addButton(item, i);
  }
  RadioGroup1Items->button(2)->setChecked(true);

  Label2 = NewLabel(body_, QStringLiteral("Top     :"), 392, 13, 44);
  Edit1 = NewNumberField(body_, QString::number(kDefaultRegion.top), 436, 10, 68, 100, UpDownTop);
  Label3 = NewLabel(body_, QStringLiteral("Left     :"), 392, 39, 44);
  Edit2 = NewNumberField(body_, QString::number(kDefaultRegion.left), 436, 36, 68, 100, UpDownLeft);
  Label4 = NewLabel(body_, QStringLiteral("Width  :"), 392, 65, 44);
  Edit3 =
      NewNumberField(body_, QString::number(kDefaultRegion.width), 436, 62, 68, 640, UpDownWidth);
  Label5 = NewLabel(body_, QStringLiteral("Height :"), 392, 91, 44);
  Edit4 =
      NewNumberField(body_, QString::number(kDefaultRegion.height), 436, 88, 68, 480, UpDownHeight);
  Edit1->setEnabled(false);
  Edit2->setEnabled(false);
  MatchUpDownsToFields();

  Label11 = NewLabel(body_, QStringLiteral("Filter Color :"), 8, 133, 68);
  ComboBox2 =
      NewComboBox(body_, {QStringLiteral("Original Colors"), QStringLiteral("Inverse Colors")}, 0,
                  76, 130, 112);
  Label13 = NewLabel(body_, QStringLiteral("Color Mode :"), 196, 133, 66);
  ComboBox3 = NewComboBox(body_,
                          {QStringLiteral("8 bit"), QStringLiteral("16 bit"),
                           QStringLiteral("24 bit"), QStringLiteral("32 bit")},
                          kFrontEndDefaults.colors, 262, 130, 72);
  Label10 = NewLabel(body_, QStringLiteral("Video Priority :"), 342, 133, 80);
  ComboBox1 =
      NewComboBox(body_,
                  {QStringLiteral("Idle"), QStringLiteral("Lowest"), QStringLiteral("Lower"),
                   QStringLiteral("Normal"), QStringLiteral("Higher"), QStringLiteral("Highest"),
                   QStringLiteral("TimeCritical")},
                  3, 422, 130, 99);

  CheckBox1 =
      NewCheckBox(body_, QStringLiteral("Record cursor in area capture"), true, 8, 192, 236);
  CheckBox3 =
      NewCheckBox(body_, QStringLiteral("Draw rectangle around area capture"), true, 8, 212, 236);
  CheckBox4 = NewCheckBox(body_, QStringLiteral("Draw cross rectangle line"), false, 8, 232, 236);
  CheckBox5 = NewCheckBox(body_, QStringLiteral("Minimize application on start capture"), true, 8,
                          252, 236);
  CheckBox6 =
      NewCheckBox(body_, QStringLiteral("Restore application after capture"), true, 8, 272, 236);
  CheckBox8 = NewCheckBox(body_, QStringLiteral("Preview (on / off)"), false, 8, 292, 236);

  GroupBox1 = new QGroupBox(body_);
  GroupBox1->setGeometry(8, 316, 236, 58);
  CheckBox9 = NewCheckBox(GroupBox1, QStringLiteral("Capture Timer ON"), false, 8, 6, 200);
  Label6 = NewLabel(GroupBox1, QStringLiteral("Hour"), 8, 33, 28);
  Edit5 = NewNumberField(GroupBox1, QStringLiteral("0"), 37, 30, 28, 99, UpDown1);
  Label7 = NewLabel(GroupBox1, QStringLiteral("Min"), 89, 33, 22);
  Edit6 = NewNumberField(GroupBox1, QStringLiteral("0"), 111, 30, 28, 59, UpDown2);
  Label8 = NewLabel(GroupBox1, QStringLiteral("Sec"), 163, 33, 22);
  Edit7 = NewNumberField(GroupBox1, QStringLiteral("0"), 185, 30, 28, 59, UpDown3);
  for (QWidget* timerControl :
       std::initializer_list<QWidget*>{Edit5, UpDown1, Edit6, UpDown2, Edit7, UpDown3}) {
    timerControl->setEnabled(false);
  }
}

}  // namespace orvenna
