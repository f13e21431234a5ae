#pragma once
// The window's status bar: panels of fixed widths from the left, the last
// one reaching the right end, each with a lowered bevel and left-aligned
// text, and a size grip at the right end. Assistive technology sees it as a
// status bar whose name is its last panel's text, the bar's running message.
#include <QWidget>
#include <vector>

#include "text/MarkerText.h"

class QLabel;
class QSizeGrip;

namespace velbrook {

class StatusBar : public QWidget {
 public:
  // One panel per entry of widths; the last entry's width is only nominal.
  StatusBar(const std::vector<int>& widths, QWidget* parent);

  Text PanelText(int index) const;
  // Setting the text a panel already has changes nothing.
  void SetPanelText(int index, const Text& text);
  QLabel* Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }
  // The last panel's text: the bar's running message.
  Text Message() const;
  // The panels that show a text, from the left.
  std::vector<QLabel*> PanelsWithText() const;
  // The height that shows every panel's text uncut in the bar's font.
  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void LayOut();

  std::vector<int> widths_;
  std::vector<QLabel*> panels_;
  QSizeGrip* grip_ = nullptr;
  int textHeight_ = 0;  // sizeHint's height when it was last announced
};

}  // namespace velbrook
