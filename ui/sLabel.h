#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>

namespace orvenna {

// How the window of a target opened by a TsWebLabel is to be shown, in the order and with
// the values of the classic window show commands.
enum class TsWindowShowMode {
  soHide = 0,
  soNormal = 1,
  soShowMinimized = 2,
  soMaximize = 3,
  soShowNoActivate = 4,
  soShow = 5,
  soMinimize = 6,
  soShowMinNoActive = 7,
  soShowNA = 8,
  soRestore = 9,
  soDefault = 10,
};

// A text label that paints no background of its own. UI thread only.
class TsCustomLabel : public QLabel {
 public:
  explicit TsCustomLabel(QWidget* parent);
};

// A font together with the colour it is painted in.
struct TsLabelFont {
  QFont face;
  QColor colour;
};

// A hyperlink label: painted in Font normally and in HoverFont while the mouse is over it;
// a left click opens URL with the desktop's default program, unless URL is empty.
// UI thread only.
class TsWebLabel final : public TsCustomLabel {
 public:
  explicit TsWebLabel(QWidget* parent);

  const TsLabelFont& Font() const { return font_; }
  void SetFont(const TsLabelFont& font);  // repaints
  const TsLabelFont& HoverFont() const { return hoverFont_; }
  void SetHoverFont(const TsLabelFont& font);
  const QString& URL() const { return url_; }
  void SetURL(const QString& url) { url_ = url; }
  // Kept as the caller's wish only: on this desktop the default program that opens the URL
  // decides how its window appears.
  TsWindowShowMode ShowMode() const { return showMode_; }
  void SetShowMode(TsWindowShowMode mode) { showMode_ = mode; }
  bool Hovered() const { return hovered_; }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TsLabelFont font_;
  TsLabelFont hoverFont_;
  QString url_;
  TsWindowShowMode showMode_ = TsWindowShowMode::soDefault;
  bool hovered_ = false;
};

}  // namespace orvenna
