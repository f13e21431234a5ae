#include "qt/QtWindow.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/Form.h"
#include "app/Site.h"
#include "os/DecimalSeparator.h"
#include "qt/MenuStyle.h"
#include "qt/QtPlatform.h"
#include "qt/StatusBar.h"

// The icons; outside any namespace, as Qt declares it there.
static void InitResources() { Q_INIT_RESOURCE(velbrook); }

namespace velbrook {
namespace {

// How much output waits for one insertion at the most. The output box takes
// in about 2 us a line and 15 ns a character, so the insertion of appends
// waiting for the end of a slice stays within a few milliseconds; a single
// larger block still goes in whole.
constexpr qsizetype kMostWaitingUnits = 512 * 1024;
constexpr qsizetype kMostWaitingLines = 4096;

QRect PlaceOf(const Rect& place) { return QRect(place.left, place.top, place.width, place.height); }

// Tahoma 8 pt; where it is missing the nearest sans-serif, with CJK fonts
// behind it so the Chinese texts have glyphs.
QFont WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

// A multi-line box whose context menu is the window's popup menu: at the
// pointer for a right click in the text area, at the text area's top-left
// corner from the keyboard (menu key, Shift+F10). The box takes the focus.
class PopupMemo : public QPlainTextEdit {
 public:
  PopupMemo(QMenu* popup, QWidget* parent) : QPlainTextEdit(parent), popup_(popup) {}

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override {
    setFocus(Qt::PopupFocusReason);
    const QPoint at = event->reason() == QContextMenuEvent::Mouse
                          ? event->globalPos()
                          : viewport()->mapToGlobal(QPoint(0, 0));
    popup_->popup(at);
    event->accept();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
      QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(0, 0),
                             viewport()->mapToGlobal(QPoint(0, 0)));
      contextMenuEvent(&menu);
      return;
    }
    QPlainTextEdit::keyPressEvent(event);
  }

 private:
  QMenu* popup_;
};

// The client area, docked the way the controls are: the top panel along the
// top, the status bar along the bottom, the side panel along the right and
// the output box in what remains. Nothing has a minimum: at a small size the
// fixed parts are cut off and the output box shrinks to nothing.
class DockedClient : public QWidget {
 public:
  explicit DockedClient(QWidget* parent) : QWidget(parent) {}
  void Dock(QWidget* top, QWidget* bottom, QWidget* right, QWidget* rest) {
    top_ = top;
    bottom_ = bottom;
    right_ = right;
    rest_ = rest;
    LayOut();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    LayOut();
  }
  bool event(QEvent* event) override {
    // The status bar asks for it when the height its text needs changes.
    if (event->type() == QEvent::LayoutRequest) LayOut();
    return QWidget::event(event);
  }

 private:
  void LayOut() {
    if (top_ == nullptr) return;
    const int w = width();
    const int h = height();
    top_->setGeometry(0, 0, w, kTopPanelHeight);
    const int middleTop = kTopPanelHeight;
    // The bar's height, unless a larger system font needs more to show its text.
    const int bottomHeight = std::max(kStatusBarHeight, bottom_->sizeHint().height());
    const int bottomTop = std::max(middleTop, h - bottomHeight);
    bottom_->setGeometry(0, bottomTop, w, bottomHeight);
    const int middleHeight = bottomTop - middleTop;
    const int restWidth = std::max(0, w - kSidePanelWidth);
    right_->setGeometry(w - kSidePanelWidth, middleTop, kSidePanelWidth, middleHeight);
    rest_->setGeometry(0, middleTop, restWidth, middleHeight);
  }

  QWidget* top_ = nullptr;
  QWidget* bottom_ = nullptr;
  QWidget* right_ = nullptr;
  QWidget* rest_ = nullptr;
};

// name is what assistive technology calls the box; its scroll bars carry it too.
void ConfigureMemo(QPlainTextEdit* memo, const Text& name) {
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setTabChangesFocus(true);
  memo->setFocusPolicy(Qt::StrongFocus);
  memo->setAccessibleName(ToQString(name));
  memo->verticalScrollBar()->setAccessibleName(ToQString(name + u"滚动条"));
  memo->horizontalScrollBar()->setAccessibleName(ToQString(name + u"滚动条"));
}

// Adds block to lines with its line breaks as the document takes them: CR
// LF, and a lone CR or LF too, become one paragraph break each. Returns the
// number of breaks.
qsizetype AddDocumentLines(QString& lines, const Text& block) {
  const qsizetype start = lines.size();
  const qsizetype most = start + static_cast<qsizetype>(block.size());
  if (lines.capacity() < most) lines.reserve(std::max(most, 2 * lines.capacity()));
  lines.resize(most);
  QChar* out = lines.data() + start;
  qsizetype breaks = 0;
  for (auto at = block.begin(); at != block.end(); ++at) {
    if (*at == u'\r' || *at == u'\n') {
      *out++ = u'\n';
      ++breaks;
      if (*at == u'\r' && at + 1 != block.end() && at[1] == u'\n') ++at;
    } else {
      *out++ = QChar(*at);
    }
  }
  lines.resize(out - lines.constData());
  return breaks;
}

// The document's text as the user sees it, with CR LF between its lines.
Text ShownText(const QTextDocument& document) {
  const QString raw = document.toRawText();
  Text shown;
  shown.reserve(static_cast<size_t>(raw.size()) + static_cast<size_t>(document.blockCount()));
  for (const QChar unit : raw) {
    switch (unit.unicode()) {
      case QChar::ParagraphSeparator:
      case QChar::LineSeparator:
        shown += u"\r\n";
        break;
      case 0xFDD0:  // frame markers of a rich document; a plain box has none
      case 0xFDD1:
        break;
      default:
        shown += static_cast<char16_t>(unit.unicode());
    }
  }
  return shown;
}

bool EndsAtLineStart(const QTextDocument& document) {
  // Empty, or the last line is empty because the text ends with a break.
  const QString lastLine = document.lastBlock().text();
  return lastLine.isEmpty() || lastLine.endsWith(QChar::LineSeparator);
}

}  // namespace

QtWindow::QtWindow(QWidget* parent) : QMainWindow(parent), Window([this] { WakeForHandOver(); }) {
  InitResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(ToQString(kWindowCaption));
  QIcon icon;
  for (const int side : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/velbrook/velbrook-%1.png").arg(side), QSize(side, side));
  }
  setWindowIcon(icon);
  setFont(WindowFont());
  setBackgroundRole(QPalette::Button);
  CreateControls();
  SetTabOrder();
  btnStart->setFocus(Qt::OtherFocusReason);
  resize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(screen->geometry().center());
    move(placed.topLeft());
  }
}

QtWindow::~QtWindow() { frmMain_.AbandonJob(); }

void QtWindow::CreateControls() {
  auto* client = new DockedClient(this);
  client->setAutoFillBackground(true);
  client->setBackgroundRole(QPalette::Button);
  setCentralWidget(client);

  CreateTopPanel();
  Panel1->setParent(client);

  CreatePopupMenu();
  mmoText = new PopupMemo(pm, client);
  mmoText->setObjectName(QStringLiteral("mmoText"));
  ConfigureMemo(mmoText, kOutputName);

  pnl1 = new QFrame(client);
  pnl1->setObjectName(QStringLiteral("pnl1"));
  pnl1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnl1->setLineWidth(1);
  // The instructions fill the panel inside its 1-pixel bevel (the frame's
  // contents rectangle already leaves the bevel out).
  auto* inside = new QVBoxLayout(pnl1);
  inside->setContentsMargins(0, 0, 0, 0);
  inside->setSizeConstraint(QLayout::SetNoConstraint);
  mmo1 = new PopupMemo(pm, pnl1);
  mmo1->setObjectName(QStringLiteral("mmo1"));
  ConfigureMemo(mmo1, kInstructionsName);
  mmo1->setFrameStyle(QFrame::Box | QFrame::Plain);
  mmo1->setLineWidth(1);
  QStringList lines;
  for (const Text& line : InstructionLines()) lines << ToQString(line);
  mmo1->setPlainText(lines.join(u'\n'));
  mmo1->setReadOnly(true);
  // Read-only, yet its text can be selected and copied from the keyboard.
  mmo1->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  inside->addWidget(mmo1);

  stat1 = new StatusBar({kStatusPanelWidths.begin(), kStatusPanelWidths.end()}, client);
  stat1->setObjectName(QStringLiteral("stat1"));
  // The status bar keeps the system's font, not the window's.
  QFont systemFont = QApplication::font();
  systemFont.setResolveMask(QFont::AllPropertiesResolved);
  stat1->setFont(systemFont);
  stat1->SetPanelText(kContactPanel, kMakerContact);
  stat1->SetPanelText(kProgressPanel, kProgressCaption);
  client->Dock(Panel1, stat1, pnl1, mmoText);
}

void QtWindow::CreateTopPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  // A raised outer and a lowered inner bevel.
  Panel1->setFrameStyle(QFrame::Box | QFrame::Raised);
  Panel1->setLineWidth(1);
  Panel1->setMidLineWidth(0);

  Label1 = new QLabel(ToQString(kLabelCaption), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(PlaceOf(kLabelPlace));

  edtWebSite = new QLineEdit(ToQString(kSampleThreadAddress), Panel1);
  edtWebSite->setObjectName(QStringLiteral("edtWebSite"));
  edtWebSite->setGeometry(PlaceOf(kAddressBoxPlace));
  edtWebSite->setCursorPosition(0);
  // The label names the address box for assistive technology (labelled-by).
  Label1->setBuddy(edtWebSite);

  btnStart = new QPushButton(ToQString(kStartCaption), Panel1);
  btnStart->setObjectName(QStringLiteral("btnStart"));
  btnStart->setGeometry(PlaceOf(kStartButtonPlace));
  // Enter clicks the button while it has the focus (Space does anyway); it
  // is no default button, so Enter elsewhere does not reach it.
  btnStart->setAutoDefault(true);
  connect(btnStart, &QPushButton::clicked, this,
          [this] { frmMain_.RunGuarded([this] { frmMain_.btnStartClick(btnStart); }); });
}

void QtWindow::CreatePopupMenu() {
  pm = new QMenu(this);
  pm->setObjectName(QStringLiteral("pm"));
  pm->setAccessibleName(ToQString(kMenuName));
  // Each item as wide as its caption needs at any font.
  auto* itemWidths = new MenuStyle;
  itemWidths->setParent(pm);
  pm->setStyle(itemWidths);
  N1 = pm->addAction(ToQString(kNewVersionItem));
  N1->setObjectName(QStringLiteral("N1"));
  N2 = pm->addAction(ToQString(kFlowersItem));
  N2->setObjectName(QStringLiteral("N2"));
  N3 = pm->addSeparator();
  N3->setObjectName(QStringLiteral("N3"));
  XTs1 = pm->addAction(ToQString(kSaveItem));
  XTs1->setObjectName(QStringLiteral("XTs1"));
  connect(N1, &QAction::triggered, this,
          [this] { frmMain_.RunGuarded([this] { frmMain_.N1Click(N1); }); });
  connect(N2, &QAction::triggered, this,
          [this] { frmMain_.RunGuarded([this] { frmMain_.N2Click(N2); }); });
  connect(XTs1, &QAction::triggered, this,
          [this] { frmMain_.RunGuarded([this] { frmMain_.XTs1Click(XTs1); }); });
}

void QtWindow::SetTabOrder() {
  setTabOrder(btnStart, edtWebSite);
  setTabOrder(edtWebSite, mmoText);
  setTabOrder(mmoText, mmo1);
}

// --- Window ---

Text QtWindow::AddressText() { return FromQString(edtWebSite->text()); }

Text QtWindow::Caption() { return FromQString(windowTitle()); }

void QtWindow::ClearOutput() {
  pendingOutput_.clear();
  pendingLines_ = 0;
  mmoText->clear();
}

void QtWindow::AddToOutput(const Text& text) {
  pendingLines_ += AddDocumentLines(pendingOutput_, text);
  if (pendingOutput_.size() >= kMostWaitingUnits || pendingLines_ >= kMostWaitingLines)
    TakeInOutput();
}

bool QtWindow::OutputEndsAtLineStart() {
  if (!pendingOutput_.isEmpty()) return pendingOutput_.back() == u'\n';
  return EndsAtLineStart(*mmoText->document());
}

Text QtWindow::OutputText() {
  TakeInOutput();
  return ShownText(*mmoText->document());
}

// The insertion point is the end, wherever the user's cursor or selection
// was; the cursor ends after the inserted text.
void QtWindow::TakeInOutput() {
  if (pendingOutput_.isEmpty()) return;
  QString piece;
  piece.swap(pendingOutput_);
  pendingLines_ = 0;
  QTextCursor end(mmoText->document());
  end.movePosition(QTextCursor::End);
  end.insertText(piece);
  mmoText->setTextCursor(end);
}

void QtWindow::EndOfWork() { TakeInOutput(); }

void QtWindow::SetPanelText(int index, const Text& text) { stat1->SetPanelText(index, text); }

Text QtWindow::StatusPanelText(int index) const { return stat1->PanelText(index); }

void QtWindow::ShowMessageBox(const Text& caption, const Text& text, MessageIcon icon) {
  ShowQtMessageBox(this, caption, text, icon);
}

std::optional<Text> QtWindow::RunSaveDialog(const Text& filter, const Text& initialName) {
  return ShowQtSaveDialog(this, filter, initialName);
}

void QtWindow::OpenWebAddress(const Text& address) { OpenQtWebAddress(address); }

// Behind everything in the event queue now, so painting and input come
// first. A call still queued when the window goes is dropped with it.
void QtWindow::WakeForHandOver() {
  QMetaObject::invokeMethod(
      this, [this] { frmMain_.RunGuarded([this] { frmMain_.DrainHandOver(); }); },
      Qt::QueuedConnection);
}

void QtWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) ReadDecimalSeparatorFromLocale();
  QMainWindow::changeEvent(event);
}

}  // namespace velbrook
