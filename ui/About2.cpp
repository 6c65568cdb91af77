#include "ui/About2.h"

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "ui/AppIcon.h"
#include "ui/JpegImage.h"
#include "ui/WindowPlacement.h"
#include "ui/sLabel.h"

namespace orvenna {
namespace {

constexpr int kClientWidth = 339;
constexpr int kClientHeight = 241;
constexpr int kTextLeft = 112;
constexpr int kLineHeight = 15;

QLabel* NewLine(QWidget* parent, const QString& text, int left, int top, int width) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(left, top, width, kLineHeight);
  return label;
}

QPixmap AboutPicture(QSize box) {
  QFile file(QStringLiteral(":/orvenna/about.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QImage image = DecodeJpeg(file.readAll());
  if (image.isNull()) return {};
  return QPixmap::fromImage(image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

}  // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("About"));
  setWindowIcon(AppIcon());
  setFixedSize(kClientWidth, kClientHeight);
  QFont base(QStringLiteral("Tahoma"));
  base.setPointSize(8);
  setFont(base);

  Image1 = new QLabel(this);
  Image1->setGeometry(12, 12, 89, 82);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setPixmap(AboutPicture(Image1->size()));

  ProductName = NewLine(this, QStringLiteral("Orvenna 3.5"), kTextLeft, 14, 215);
  QFont title(QStringLiteral("Arial"));
  title.setPointSize(10);
  title.setBold(true);
  ProductName->setFont(title);
  ProductName->setFixedHeight(20);
  Maker = NewLine(this, QStringLiteral("Made by the Orvenna developers"), kTextLeft, 40, 215);

  WebAddress = new TsWebLabel(this);
  WebAddress->setText(QStringLiteral("www.orvenna.example"));
  QFont link = base;
  link.setUnderline(true);
  // As wide as its text, so that only the text reacts to the mouse.
  const int linkWidth = QFontMetrics(link).horizontalAdvance(WebAddress->text()) + 2;
  WebAddress->setGeometry(kTextLeft, 58, linkWidth, kLineHeight);
  WebAddress->SetFont({link, palette().color(QPalette::Link)});
  WebAddress->SetHoverFont({base, palette().color(QPalette::WindowText)});

  Contact = NewLine(this, QStringLiteral("Contact: team@orvenna.example"), kTextLeft, 76, 215);

  ThanksHeading = NewLine(this, QStringLiteral("Thanks to:"), 12, 104, 200);
  QFont bold = base;
  bold.setBold(true);
  ThanksHeading->setFont(bold);
  Credit1 =
      NewLine(this, QStringLiteral("The Qt developers, for the widget toolkit"), 24, 121, 300);
  Credit2 =
      NewLine(this, QStringLiteral("The FFmpeg developers, for the video encoders"), 24, 136, 300);
  Credit3 = NewLine(this, QStringLiteral("The Independent JPEG Group, for libjpeg"), 24, 151, 300);
  EngineSupplier =
      NewLine(this, QStringLiteral("Capture engine by the Orvenna developers"), 24, 166, 300);
  Closing = NewLine(
      this, QStringLiteral("And a whole bunch of other people we didn't have room to 7hank."), 12,
      185, 320);
  QFont closing(QStringLiteral("Arial"));
  closing.setPointSize(8);
  Closing->setFont(closing);

  ButtonOk = new QPushButton(QStringLiteral("Ok"), this);
  ButtonOk->setGeometry((kClientWidth - 75) / 2, 208, 75, 25);
  connect(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });
}

void TForm2::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_) return;
  placed_ = true;
  CentreOnPrimaryScreen(*this);
}

void TForm2::ButtonOkClick() {
  hide();
}

}  // namespace orvenna
