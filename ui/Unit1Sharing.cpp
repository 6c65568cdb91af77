// The main window on a desktop that shares its screen only on request (Wayland): asking for the
// screen before it is read, what a refusal shows, the end of the sharing once nothing reads
// the screen, and the notes on what such a desktop does not allow.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QTimer>

#include "ui/Unit1.h"

namespace orvenna {
namespace {

constexpr int kScreenWatchMilliseconds = 250;
constexpr int kRegionFromWindows = 0;  // the region type whose picker asks for a window
constexpr int kFullScreen = 4;

}  // namespace

void TfrmMain::ConnectSharing() {
  if (desktop_.sharing == nullptr) return;
  desktop_.sharing->OnRefused = [this](ShareOutcome outcome, const std::string& problem) {
    ScreenAnswered(outcome, problem);
  };
  desktop_.sharing->OnNote = [this](const std::string& note) {
    ShowNotes({{QString::fromStdString(note), QString::fromStdString(note)}});
  };
  screenWatch_ = new QTimer(this);
  screenWatch_->setInterval(kScreenWatchMilliseconds);
  connect(screenWatch_, &QTimer::timeout, this, [this] { ReleaseScreenWhenIdle(); });
}

bool TfrmMain::ShareScreenForRegion() {
  if (desktop_.sharing == nullptr || RadioGroup1Items->checkedId() == kRegionFromWindows)
    return true;
  // The window stays alive while the desktop asks the user, but takes no second start.
  body_->setEnabled(false);
  const ShareOutcome outcome = desktop_.sharing->Share(SharedSource::Monitor);
  body_->setEnabled(true);
  if (outcome != ShareOutcome::Shared || !engine_) return false;
  FormActivate();  // the region's arrows reach to the shared monitor's edges
  screenWatch_->start();
  return true;
}

void TfrmMain::ScreenAnswered(ShareOutcome outcome, const std::string& problem) {
  if (outcome == ShareOutcome::Cancelled) {
    ShowNotes({{QStringLiteral("The screen was not shared, so nothing was recorded."),
                QString::fromStdString(problem)}});
    return;
  }
  ShowError(
      QStringLiteral("The screen cannot be recorded: %1").arg(QString::fromStdString(problem)));
}

void TfrmMain::ReleaseScreenWhenIdle() {
  if (desktop_.sharing == nullptr || desktop_.sharing->Asking()) return;
  const bool reading = engine_ && (engine_->Recording() || engine_->SessionThreadRunning() ||
                                   engine_->ShowPreview() || engine_->WaitingForRegion());
  if (reading) {
    screenWatch_->start();  // a picked window shared meanwhile is released later
    return;
  }
  screenWatch_->stop();
  desktop_.sharing->StopSharing();
}

void TfrmMain::SayLimitsOnce() {
  std::vector<Note> notes;
  if (!desktop_.hotKeysProblem.empty()) {
    notes.push_back({QStringLiteral("No global keys here: the Stop button stops."),
                     QString::fromStdString(desktop_.hotKeysProblem) +
                         QStringLiteral("; the Stop button stops the recording.")});
  }
  if (desktop_.sharing != nullptr && CheckBox3->isChecked() &&
      RadioGroup1Items->checkedId() != kFullScreen) {
    notes.push_back({QStringLiteral("The red frame around the region is not drawn here."),
                     QStringLiteral("This desktop lets no program place a window around the "
                                    "region, so the red frame is not drawn.")});
  }
  if (desktop_.sharing != nullptr && !CheckBox1->isChecked() &&
      desktop_.sharing->PointerInPicture()) {
    notes.push_back({QStringLiteral("The cursor is recorded all the same here."),
                     QStringLiteral("This desktop draws the pointer into the picture it shares, "
                                    "so \"Record cursor\" off cannot leave it out.")});
  }
  ShowNotes(NotesNotSaid(notes));
}

std::vector<TfrmMain::Note> TfrmMain::NotesNotSaid(const std::vector<Note>& notes) {
  std::vector<Note> fresh;
  for (const Note& note : notes) {
    if (notesSaid_.contains(note.text)) continue;
    notesSaid_.append(note.text);
    fresh.push_back(note);
  }
  return fresh;
}

void TfrmMain::ShowNotes(const std::vector<Note>& notes) {
  if (notes.empty()) return;
  QStringList texts;
  QStringList whys;
  for (const Note& note : notes) {
    texts.append(note.text);
    whys.append(note.why);
  }
  SessionNote->setText(texts.join(QLatin1Char(' ')));
  SessionNote->setToolTip(whys.join(QLatin1Char('\n')));
  SessionNote->show();
}

}  // namespace orvenna
