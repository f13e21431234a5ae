#include "qt/MenuStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyleOptionMenuItem>

namespace velbrook {
namespace {

// The narrowest width at which the style's eliding measure leaves caption
// whole, from measured (the menu's own measure) up.
int WholeCaptionWidth(const QFont& font, const QString& caption, int measured) {
  const QFontMetrics metrics(font);
  const auto whole = [&](int width) {
    return metrics.elidedText(caption, Qt::ElideMiddle, width, Qt::TextShowMnemonic) == caption;
  };
  if (whole(measured)) return measured;
  // Every character's advance, the "&" included, is an upper bound.
  int elided = measured;
  int shown = std::max(measured, metrics.horizontalAdvance(caption)) + 1;
  if (!whole(shown)) return shown;
  while (shown - elided > 1) {
    const int middle = elided + (shown - elided) / 2;
    (whole(middle) ? shown : elided) = middle;
  }
  return shown;
}

}  // namespace

MenuStyle::MenuStyle() : QProxyStyle(QApplication::style()->name()) {}

// The menu measures a caption with the access key's "&" left out, as it is
// drawn. Styles that elide a caption too long for its item (Fusion) measure
// it with QFontMetrics::elidedText, which counts that "&" when it ends a run
// of one script, as in "新版本(&G)" ("(&" goes with the Chinese, "G)" with the
// Latin run). There the caption was short of the width the elider wants by
// the width of "&", which a large enough font no longer hides in the item's
// margins, and it was drawn as "去看看有没...本(G)". Each item is now given
// the width at which the elider keeps its caption whole.
QSize MenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                  const QWidget* widget) const {
  QSize contents = size;
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (type == CT_MenuItem && item != nullptr &&
      item->menuItemType != QStyleOptionMenuItem::Separator && !item->text.isEmpty()) {
    // The shortcut after a tab is measured and drawn apart from the caption.
    const QString caption = item->text.left(item->text.indexOf(u'\t'));
    contents.setWidth(WholeCaptionWidth(item->font, caption, size.width()));
  }
  return QProxyStyle::sizeFromContents(type, option, contents, widget);
}

}  // namespace velbrook
