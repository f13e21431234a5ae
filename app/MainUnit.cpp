#include "app/MainUnit.h"

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

#include "app/MenuStyle.h"
#include "app/Platform.h"
#include "app/Site.h"
#include "app/StatusBar.h"
#include "fetch/HttpClient.h"
#include "os/DecimalSeparator.h"

namespace velbrook {
namespace {

// Client area at the initial size, and the fixed parts of the layout (pixels).
constexpr int kClientWidth = 689;
constexpr int kClientHeight = 412;
constexpr int kTopPanelHeight = 43;
constexpr int kSidePanelWidth = 233;
constexpr int kStatusBarHeight = 19;
const std::vector<int> kStatusPanelWidths = {100, 50, 50, 50};
constexpr int kProgressPanel = 3;
constexpr int kContactPanel = 0;
constexpr const char* kTagProperty = "Tag";
// How much output waits for one insertion at the most. The output box takes
// in about 2 us a line and 15 ns a character, so the insertion of appends
// waiting for the end of a slice stays within a few milliseconds; a single
// larger block still goes in whole.
constexpr qsizetype kMostWaitingUnits = 512 * 1024;
constexpr qsizetype kMostWaitingLines = 4096;

// The instructions box, line by line.
TextList InstructionLines() {
  return {
      u"======  Velbrook======",
      u"使用方法:",
      u"    把你要脱水的贴子拷贝到上面的网",
      u"址栏,然后点开始就可以啦.贴子任何一",
      u"页的网址都可以.",
      u"    使用中遇到问题或BUG请移步到偶",
      u"的空间告诉偶,网址",
      u"是:" + kHomePageAddress + u"/",
      u"     功能菜单:请大家单击鼠标右键",
      u"=========================",
      u"希望:",
      u"  1.使用软件的朋友到偶空间告诉偶;",
      u"  2.在腾讯公益或是其它社区为孤儿捐",
      u"助一元钱,谢谢!",
      Text(42, u' ') + u"-   Pellam",
      u"=========================",
      u"",
      u"更新日志:",
      u"2010.10.11 13:26:",
      u"     发布第一版,暂定为1.0测试版,希望",
      u"大家发现问题告诉偶.",
  };
}

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
}  // namespace velbrook

using velbrook::FromQString;
using velbrook::Text;
using velbrook::ToQString;

static void InitResources() { Q_INIT_RESOURCE(velbrook); }

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent), idhtp_(std::make_unique<velbrook::HttpClient>()) {
  InitResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(ToQString(velbrook::kWindowCaption));
  QIcon icon;
  for (const int side : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/velbrook/velbrook-%1.png").arg(side), QSize(side, side));
  }
  setWindowIcon(icon);
  setFont(velbrook::WindowFont());
  setBackgroundRole(QPalette::Button);
  CreateControls();
  handOver_.SetAfterWork([this] { TakeInOutput(); });
  SetTabOrder();
  btnStart->setFocus(Qt::OtherFocusReason);
  resize(velbrook::kClientWidth, velbrook::kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(screen->geometry().center());
    move(placed.topLeft());
  }
}

// A running job is cut short before the HTTP client and the controls go.
TfrmMain::~TfrmMain() { AbandonJob(); }

void TfrmMain::CreateControls() {
  auto* client = new velbrook::DockedClient(this);
  client->setAutoFillBackground(true);
  client->setBackgroundRole(QPalette::Button);
  setCentralWidget(client);

  CreateTopPanel();
  Panel1->setParent(client);

  CreatePopupMenu();
  mmoText = new velbrook::PopupMemo(pm, client);
  mmoText->setObjectName(QStringLiteral("mmoText"));
  velbrook::ConfigureMemo(mmoText, u"脱水结果");

  pnl1 = new QFrame(client);
  pnl1->setObjectName(QStringLiteral("pnl1"));
  pnl1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnl1->setLineWidth(1);
  // The instructions fill the panel inside its 1-pixel bevel (the frame's
  // contents rectangle already leaves the bevel out).
  auto* inside = new QVBoxLayout(pnl1);
  inside->setContentsMargins(0, 0, 0, 0);
  inside->setSizeConstraint(QLayout::SetNoConstraint);
  mmo1 = new velbrook::PopupMemo(pm, pnl1);
  mmo1->setObjectName(QStringLiteral("mmo1"));
  velbrook::ConfigureMemo(mmo1, u"使用说明");
  mmo1->setFrameStyle(QFrame::Box | QFrame::Plain);
  mmo1->setLineWidth(1);
  QStringList lines;
  for (const Text& line : velbrook::InstructionLines()) lines << ToQString(line);
  mmo1->setPlainText(lines.join(u'\n'));
  mmo1->setReadOnly(true);
  // Read-only, yet its text can be selected and copied from the keyboard.
  mmo1->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  inside->addWidget(mmo1);

  stat1 = new velbrook::StatusBar(velbrook::kStatusPanelWidths, client);
  stat1->setObjectName(QStringLiteral("stat1"));
  // The status bar keeps the system's font, not the window's.
  QFont systemFont = QApplication::font();
  systemFont.setResolveMask(QFont::AllPropertiesResolved);
  stat1->setFont(systemFont);
  stat1->SetPanelText(velbrook::kContactPanel, velbrook::kMakerContact);
  stat1->SetPanelText(velbrook::kProgressPanel, u"当前进度:");
  client->Dock(Panel1, stat1, pnl1, mmoText);
}

void TfrmMain::CreateTopPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  // A raised outer and a lowered inner bevel.
  Panel1->setFrameStyle(QFrame::Box | QFrame::Raised);
  Panel1->setLineWidth(1);
  Panel1->setMidLineWidth(0);

  Label1 = new QLabel(ToQString(u"请输入你要脱水的贴子网址:"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(8, 11, 159, 15);

  edtWebSite = new QLineEdit(ToQString(velbrook::kSampleThreadAddress), Panel1);
  edtWebSite->setObjectName(QStringLiteral("edtWebSite"));
  edtWebSite->setGeometry(176, 8, 379, 21);
  edtWebSite->setCursorPosition(0);
  // The label names the address box for assistive technology (labelled-by).
  Label1->setBuddy(edtWebSite);

  btnStart = new QPushButton(ToQString(u"开 始"), Panel1);
  btnStart->setObjectName(QStringLiteral("btnStart"));
  btnStart->setGeometry(561, 7, 63, 23);
  btnStart->setProperty(velbrook::kTagProperty, 0);
  // Enter clicks the button while it has the focus (Space does anyway); it
  // is no default button, so Enter elsewhere does not reach it.
  btnStart->setAutoDefault(true);
  connect(btnStart, &QPushButton::clicked, this,
          [this] { velbrook::RunGuarded(this, [this] { btnStartClick(btnStart); }); });
}

void TfrmMain::CreatePopupMenu() {
  pm = new QMenu(this);
  pm->setObjectName(QStringLiteral("pm"));
  pm->setAccessibleName(ToQString(u"功能菜单"));
  // Each item as wide as its caption needs at any font.
  auto* itemWidths = new velbrook::MenuStyle;
  itemWidths->setParent(pm);
  pm->setStyle(itemWidths);
  N1 = pm->addAction(ToQString(u"去看看有没新版本(&G)"));
  N1->setObjectName(QStringLiteral("N1"));
  N2 = pm->addAction(ToQString(u"去帮Pellam浇花(&H)"));
  N2->setObjectName(QStringLiteral("N2"));
  N3 = pm->addSeparator();
  N3->setObjectName(QStringLiteral("N3"));
  XTs1 = pm->addAction(ToQString(u"把文档保存为TXT(&S)"));
  XTs1->setObjectName(QStringLiteral("XTs1"));
  connect(N1, &QAction::triggered, this,
          [this] { velbrook::RunGuarded(this, [this] { N1Click(N1); }); });
  connect(N2, &QAction::triggered, this,
          [this] { velbrook::RunGuarded(this, [this] { N2Click(N2); }); });
  connect(XTs1, &QAction::triggered, this,
          [this] { velbrook::RunGuarded(this, [this] { XTs1Click(XTs1); }); });
}

void TfrmMain::SetTabOrder() {
  setTabOrder(btnStart, edtWebSite);
  setTabOrder(edtWebSite, mmoText);
  setTabOrder(mmoText, mmo1);
}

// --- Window access: on the window's thread through the hand-over. ---

Text TfrmMain::ReadAddressBox() {
  return handOver_.Call<Text>([this] { return FromQString(edtWebSite->text()); });
}

Text TfrmMain::ReadCaption() {
  return handOver_.Call<Text>([this] { return FromQString(windowTitle()); });
}

void TfrmMain::ClearOutput() {
  handOver_.Post([this] {
    TakeInOutput();
    mmoText->clear();
  });
}

void TfrmMain::AppendOutput(const Text& ABlock) {
  handOver_.Post([this, ABlock] { QueueOutput(ABlock); });
}

Text TfrmMain::ReadOutput() {
  return handOver_.Call<Text>([this] {
    TakeInOutput();
    return velbrook::ShownText(*mmoText->document());
  });
}

// After a final line break (or into an empty box) the block and a break;
// otherwise a break and the block. Blocks after a break wait in
// pendingOutput_, which then ends with a break too.
void TfrmMain::QueueOutput(const Text& ABlock) {
  if (pendingOutput_.isEmpty() && !velbrook::EndsAtLineStart(*mmoText->document())) {
    // Whether the text then ends with a break depends on the block: it goes
    // in at once.
    pendingOutput_ += u'\n';
    velbrook::AddDocumentLines(pendingOutput_, ABlock);
    TakeInOutput();
    return;
  }
  pendingLines_ += velbrook::AddDocumentLines(pendingOutput_, ABlock) + 1;
  pendingOutput_ += u'\n';
  if (pendingOutput_.size() >= velbrook::kMostWaitingUnits ||
      pendingLines_ >= velbrook::kMostWaitingLines)
    TakeInOutput();
}

// The insertion point is the end, wherever the user's cursor or selection
// was; the cursor ends after the inserted text.
void TfrmMain::TakeInOutput() {
  if (pendingOutput_.isEmpty()) return;
  QString piece;
  piece.swap(pendingOutput_);
  pendingLines_ = 0;
  QTextCursor end(mmoText->document());
  end.movePosition(QTextCursor::End);
  end.insertText(piece);
  mmoText->setTextCursor(end);
}

void TfrmMain::ShowStatus(const Text& AText, const Text& AKind) {
  int panel = -1;
  if (velbrook::IsEqual(AKind, u"A")) {
    panel = velbrook::kProgressPanel;
  } else if (velbrook::IsEqual(AKind, u"S")) {
    panel = velbrook::kContactPanel;
  } else {
    return;
  }
  handOver_.Post([this, panel, AText] { stat1->SetPanelText(panel, AText); });
}

void TfrmMain::ClearBusyFlag() {
  handOver_.Post([this] { SetBusyFlag(0); });
}

int TfrmMain::BusyFlag() const { return btnStart->property(velbrook::kTagProperty).toInt(); }

void TfrmMain::SetBusyFlag(int ATag) { btnStart->setProperty(velbrook::kTagProperty, ATag); }

Text TfrmMain::StatusPanelText(int AIndex) const { return stat1->PanelText(AIndex); }

void TfrmMain::EndHandOver() { handOver_.Close(); }

void TfrmMain::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) velbrook::ReadDecimalSeparatorFromLocale();
  QMainWindow::changeEvent(event);
}

// --- The two home-page items. ---

void TfrmMain::N1Click(QObject* /*Sender*/) {
  velbrook::OpenWebAddress(velbrook::kHomePageAddress);
}

void TfrmMain::N2Click(QObject* Sender) { N1Click(Sender); }
