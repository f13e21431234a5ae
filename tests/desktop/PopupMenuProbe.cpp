// Opens the real window's popup menu from the keyboard, as the user does,
// records what the menu draws for each item (a paint device that keeps the
// text runs) and prints one line an item: its width, the caption, the text
// drawn. Exits 1 when any item's caption is not drawn whole (elided).
//   popup-menu-probe [POINTS]
// With POINTS the application's font is the system font at POINTS points;
// without, the font is the platform theme's.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTest>
#include <QTextItem>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "qt/QtWindow.h"

namespace {

struct TextRun {
  QPointF at;
  QString text;
};

// Keeps every text run drawn and nothing else.
class TextRunEngine : public QPaintEngine {
 public:
  TextRunEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState&) override {}
  Type type() const override { return User; }
  void drawTextItem(const QPointF& at, const QTextItem& item) override {
    runs.push_back({at, item.text()});
  }
  void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
  void drawPath(const QPainterPath&) override {}
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
  void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
  void drawRects(const QRectF*, int) override {}
  void drawRects(const QRect*, int) override {}
  void drawLines(const QLineF*, int) override {}
  void drawLines(const QLine*, int) override {}
  void drawEllipse(const QRectF&) override {}
  void drawPoints(const QPointF*, int) override {}
  void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
  void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}

  std::vector<TextRun> runs;
};

class TextRunDevice : public QPaintDevice {
 public:
  explicit TextRunDevice(QSize size) : size_(size) {}
  QPaintEngine* paintEngine() const override { return &engine_; }
  const std::vector<TextRun>& Runs() const { return engine_.runs; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
      case PdmWidth:
        return size_.width();
      case PdmHeight:
        return size_.height();
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return 96;
      case PdmDepth:
        return 32;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
      default:
        return 0;
    }
  }

 private:
  QSize size_;
  mutable TextRunEngine engine_;
};

// The caption as shown: the access key's "&" is not drawn.
QString Shown(const QString& caption) {
  QString shown;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&' && i + 1 < caption.size()) ++i;
    shown += caption[i];
  }
  return shown;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc > 1) {
    QFont font = QApplication::font();
    font.setPointSize(std::atoi(argv[1]));
    QApplication::setFont(font);
  }
  velbrook::QtWindow window;
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 2;
  auto* output = window.findChild<QPlainTextEdit*>(QStringLiteral("mmoText"));
  auto* menu = window.findChild<QMenu*>(QStringLiteral("pm"));
  output->setFocus();
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0),
                            output->mapToGlobal(QPoint(0, 0)));
  QApplication::sendEvent(output, &menuKey);
  if (!QTest::qWaitFor([menu] { return menu->isVisible(); })) return 2;
  QTest::qWait(100);

  TextRunDevice device(menu->size());
  menu->render(&device);
  const QFont font = menu->font();
  std::printf("menu font %s %.1f pt (%d px), style %s\n", qPrintable(QFontInfo(font).family()),
              font.pointSizeF(), QFontInfo(font).pixelSize(),
              qPrintable(QApplication::style()->name()));
  int elided = 0;
  for (QAction* item : menu->actions()) {
    if (item->isSeparator()) continue;
    const QRect place = menu->actionGeometry(item);
    std::map<qreal, QString> drawn;  // the item's runs from the left
    for (const TextRun& run : device.Runs()) {
      if (place.contains(run.at.toPoint())) drawn[run.at.x()] += run.text;
    }
    QString text;
    for (const auto& [x, run] : drawn) text += run;
    const QString caption = Shown(item->text());
    const bool whole = text == caption;
    elided += whole ? 0 : 1;
    std::printf("  %-6s item %3d px wide, caption %s drawn %s\n", whole ? "whole" : "ELIDED",
                place.width(), qPrintable(caption), qPrintable(text));
  }
  menu->close();
  return elided == 0 ? 0 : 1;
}
