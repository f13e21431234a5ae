#include "app/StatusBar.h"

#include <QLabel>
#include <QSizeGrip>
#include <QString>

#include "app/Platform.h"

namespace velbrook {

StatusBar::StatusBar(const std::vector<int>& widths, QWidget* parent)
    : QWidget(parent), widths_(widths) {
  for (size_t i = 0; i < widths_.size(); ++i) {
    auto* panel = new QLabel(this);
    panel->setObjectName(QStringLiteral("stat1Panel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->setIndent(2);
    panel->setTextFormat(Qt::PlainText);
    panels_.push_back(panel);
  }
  grip_ = new QSizeGrip(this);
  LayOut();
}

Text StatusBar::PanelText(int index) const { return FromQString(Panel(index)->text()); }

void StatusBar::SetPanelText(int index, const Text& text) {
  QLabel* panel = Panel(index);
  const QString next = ToQString(text);
  if (panel->text() != next) panel->setText(next);
}

void StatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void StatusBar::LayOut() {
  // Each panel's right edge is the running sum of the widths before the last.
  int left = 0;
  for (size_t i = 0; i < panels_.size(); ++i) {
    const bool last = i + 1 == panels_.size();
    const int right = last ? width() : left + widths_[i];
    panels_[i]->setGeometry(left, 0, std::max(0, right - left), height());
    left = right;
  }
  const QSize grip = grip_->sizeHint().boundedTo(QSize(height(), height()));
  grip_->setGeometry(width() - grip.width(), height() - grip.height(), grip.width(), grip.height());
  grip_->raise();
}

}  // namespace velbrook
