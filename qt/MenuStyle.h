#pragma once
// The popup menu's style: the application's own, except that each item is
// as wide as its caption needs to be drawn whole.
#include <QProxyStyle>

namespace velbrook {

class MenuStyle : public QProxyStyle {
 public:
  // A new instance of the application's style of the moment.
  MenuStyle();
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
};

}  // namespace velbrook
