#include "qt/StatusBar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QLabel>
#include <QSizeGrip>
#include <QString>

#include "qt/QtPlatform.h"

namespace velbrook {
namespace {

// The bar as assistive technology sees it: the status bar role, named by its
// last panel, and as children only the panels that show text; the blank
// panels and the size grip (a mouse-only handle) are left out.
class AccessibleStatusBar : public QAccessibleWidget {
 public:
  explicit AccessibleStatusBar(StatusBar* bar) : QAccessibleWidget(bar, QAccessible::StatusBar) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      return ToQString(Bar()->Message());
    }
    return QAccessibleWidget::text(kind);
  }
  int childCount() const override { return static_cast<int>(Bar()->PanelsWithText().size()); }
  QAccessibleInterface* child(int index) const override {
    const std::vector<QLabel*> shown = Bar()->PanelsWithText();
    if (index < 0 || index >= static_cast<int>(shown.size())) return nullptr;
    return QAccessible::queryAccessibleInterface(shown[static_cast<size_t>(index)]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    const std::vector<QLabel*> shown = Bar()->PanelsWithText();
    for (size_t i = 0; i < shown.size(); ++i) {
      if (child != nullptr && child->object() == shown[i]) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  const StatusBar* Bar() const { return static_cast<const StatusBar*>(widget()); }
};

QAccessibleInterface* AccessibleStatusBarFactory(const QString& /*key*/, QObject* object) {
  auto* bar = dynamic_cast<StatusBar*>(object);
  return bar != nullptr ? new AccessibleStatusBar(bar) : nullptr;
}

}  // namespace

StatusBar::StatusBar(const std::vector<int>& widths, QWidget* parent)
    : QWidget(parent), widths_(widths) {
  // Qt asks the factory for the interface of every object it meets; once is enough.
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(AccessibleStatusBarFactory);
    return true;
  }();
  (void)factoryInstalled;
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

Text StatusBar::Message() const { return FromQString(panels_.back()->text()); }

std::vector<QLabel*> StatusBar::PanelsWithText() const {
  std::vector<QLabel*> shown;
  for (QLabel* panel : panels_) {
    if (!panel->text().isEmpty()) shown.push_back(panel);
  }
  return shown;
}

void StatusBar::SetPanelText(int index, const Text& text) {
  QLabel* panel = Panel(index);
  const QString next = ToQString(text);
  if (panel->text() == next) return;
  panel->setText(next);
  // The last panel's text is the bar's name: a screen reader hears each new
  // progress text as the status bar's change.
  if (panel == panels_.back()) {
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
  }
}

QSize StatusBar::sizeHint() const {
  int height = 0;
  for (const QLabel* panel : panels_) height = std::max(height, panel->sizeHint().height());
  return {QWidget::sizeHint().width(), height};
}

void StatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

// A panel whose text or font changed asks its parent, the bar, to lay out
// again; the bar passes that on to its own parent only when the height its
// text needs has changed.
bool StatusBar::event(QEvent* event) {
  if (event->type() == QEvent::LayoutRequest) {
    const int textHeight = sizeHint().height();
    if (textHeight != textHeight_) {
      textHeight_ = textHeight;
      updateGeometry();
    }
  }
  return QWidget::event(event);
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
