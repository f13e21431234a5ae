// The Qt window's platform services: the system's message box with its one
// OK and icon, the save dialog's settings and the Qt filter text, Qt's own
// texts in the locale's language; the system's own box and dialog answered
// by a timer.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/DefaultError.h"
#include "app/MainUnit.h"
#include "qt/QtPlatform.h"
#include "qt/QtWindow.h"
#include "qt/StartUp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowProbe.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

TEST(QtFileFilterTest, WindowsFilterPairsBecomeQtEntries) {
  EXPECT_EQ(QtFileFilter(u"文本文件*.txt|*.txt"), ToQString(u"文本文件*.txt (*.txt)"));
  EXPECT_EQ(QtFileFilter(u"Text|*.txt|All|*.*"), QStringLiteral("Text (*.txt);;All (*.*)"));
  EXPECT_EQ(QtFileFilter(u"Pictures|*.png;*.jpg"), QStringLiteral("Pictures (*.png *.jpg)"));
  EXPECT_EQ(QtFileFilter(u""), QString());
}

class PlatformTest : public ::testing::Test {
 protected:
  QtWindow window_;
  TfrmMain& frmMain_ = window_.frmMain();
};

// Answers the modal dialogs of type Box while it lives: every few
// milliseconds the answer is given again to a dialog that is still up (a
// file dialog may refuse an answer while it is still reading its folder).
template <class Box>
class Answerer {
 public:
  explicit Answerer(std::function<void(Box&)> answer) {
    QObject::connect(&poll_, &QTimer::timeout, [this, answer] {
      if (auto* box = qobject_cast<Box*>(QApplication::activeModalWidget())) {
        ++answered;
        answer(*box);
      }
    });
    poll_.start(10);
  }
  int answered = 0;

 private:
  QTimer poll_;
};

TEST_F(PlatformTest, TheSystemMessageBoxHasOneOkAndTheCallersIcon) {
  Answerer<QMessageBox> answer([&](QMessageBox& box) {
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Velbrook1.0b"));
    EXPECT_EQ(box.text(), ToQString(u"已经在帮你干活啦!猴急什么的最讨厌啦!"));
    EXPECT_EQ(box.icon(), QMessageBox::Information);
    EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
    box.button(QMessageBox::Ok)->click();
  });
  frmMain_.ShowMessageBox(u"已经在帮你干活啦!猴急什么的最讨厌啦!", MessageIcon::Information);
  EXPECT_EQ(answer.answered, 1);
}

// A file name holding tags, as the "Cannot create file" box shows it.
TEST_F(PlatformTest, EverySystemBoxShowsItsTextAsWritten) {
  const Text marked = u"Cannot create file \"/tmp/<b>x</b>&amp;.txt\". No such file or directory";
  const struct {
    const char* name;
    std::function<void()> show;
    Text shown;
  } cases[] = {
      {"information", [&] { frmMain_.ShowMessageBox(marked, MessageIcon::Information); }, marked},
      {"error", [&] { frmMain_.ShowMessageBox(marked, MessageIcon::Error); }, marked},
      {"default error box", [&] { frmMain_.ShowDefaultErrorBox(marked); }, marked + u"."},
  };
  for (const auto& c : cases) {
    Qt::TextFormat boxFormat = Qt::AutoText;
    Qt::TextFormat labelFormat = Qt::AutoText;
    QString labelText;
    Answerer<QMessageBox> answer([&](QMessageBox& box) {
      boxFormat = box.textFormat();
      if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        labelFormat = label->textFormat();
        labelText = label->text();
      }
      box.button(QMessageBox::Ok)->click();
    });
    c.show();
    EXPECT_EQ(answer.answered, 1) << c.name;
    EXPECT_EQ(boxFormat, Qt::PlainText) << c.name;
    EXPECT_EQ(labelFormat, Qt::PlainText) << c.name;
    EXPECT_EQ(labelText, ToQString(c.shown)) << c.name;
  }
}

TEST_F(PlatformTest, TheSystemErrorBoxShowsTheCriticalIcon) {
  Answerer<QMessageBox> answer([&](QMessageBox& box) {
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    EXPECT_EQ(box.windowTitle(), ToQString(ApplicationTitle()));
    box.button(QMessageBox::Ok)->click();
  });
  frmMain_.ShowDefaultErrorBox(u"Stream write error");
  EXPECT_EQ(answer.answered, 1);
}

TEST_F(PlatformTest, TheSystemSaveDialogTakesTheNameAsChosen) {
  TempDir folder;
  const QString chosen = QString::fromStdString((folder.path() / "notes").string());
  Answerer<QFileDialog> answer([&](QFileDialog& dialog) {
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog.nameFilters(), QStringList{ToQString(u"文本文件*.txt (*.txt)")});
    EXPECT_TRUE(dialog.defaultSuffix().isEmpty());
    // The user types the name into the dialog's name box and accepts.
    dialog.setDirectory(QString::fromStdString(folder.path().string()));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QStringLiteral("notes"));
    QMetaObject::invokeMethod(&dialog, "accept");
  });
  const std::optional<Text> path = window_.RunSaveDialog(u"文本文件*.txt|*.txt", u"");
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(ToQString(*path), chosen);  // no ".txt" added by the dialog
}

// The file type reads as its display text alone, and the list holds the
// folders and the *.txt files only.
TEST_F(PlatformTest, TheSystemSaveDialogsFileTypeReadsAsWrittenAndShowsTxtFilesOnly) {
  TempDir folder;
  for (const char* name : {"a.txt", "b.doc", "c.txt.bak", "d.txt"})
    std::ofstream(folder.path() / name) << "x";
  std::filesystem::create_directory(folder.path() / "sub");
  const QString path = QString::fromStdString(folder.path().string());
  int turn = 0;
  bool loaded = false;
  QStringList types;
  QStringList listed;
  Answerer<QFileDialog> answer([&](QFileDialog& dialog) {
    auto* model = dialog.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(model != nullptr && view != nullptr && combo != nullptr);
    if (turn++ == 0) {
      QObject::connect(model, &QFileSystemModel::directoryLoaded, [&](const QString& done) {
        if (done == path) loaded = true;
      });
      dialog.setDirectory(path);
      return;
    }
    // A folder that never loads fails the test instead of hanging it.
    if (!loaded && turn < kWindowWaitMs / 10) return;
    for (int i = 0; i < combo->count(); ++i) types << combo->itemText(i);
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row)
      listed << view->model()->index(row, 0, root).data().toString();
    dialog.reject();
  });
  window_.RunSaveDialog(u"文本文件*.txt|*.txt", u"");
  EXPECT_TRUE(loaded);
  EXPECT_EQ(types.join(u'|').toStdString(), "文本文件*.txt");
  listed.sort();
  EXPECT_EQ(listed.join(u'|').toStdString(), "a.txt|d.txt|sub");
}

// Qt's own texts follow the locale; under C they stay Qt's English ones.
TEST_F(PlatformTest, QtsOwnTextsSpeakTheLocalesLanguage) {
  const QString saveAs = QStringLiteral("Save As");
  const struct {
    const char* name;
    QLocale locale;
    bool installed;
    Text title;
    Text save;
    Text cancel;
    Text ok;
  } cases[] = {
      {"zh_CN", QLocale(QLocale::Chinese, QLocale::China), true, u"另存为", u"保存", u"取消",
       u"确定"},
      {"C", QLocale::c(), false, u"Save As", u"Save", u"Cancel", u"OK"},
  };
  for (const auto& c : cases) {
    const QtTranslations translations(c.locale);
    EXPECT_EQ(translations.installed(), c.installed) << c.name;
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As") != saveAs, c.installed)
        << c.name;
    QString title;
    QStringList buttons;
    Answerer<QFileDialog> dialogAnswer([&](QFileDialog& dialog) {
      title = dialog.windowTitle();
      for (QAbstractButton* button : dialog.findChild<QDialogButtonBox*>()->buttons())
        buttons << button->text().remove(u'&');
      dialog.reject();
    });
    window_.RunSaveDialog(u"文本文件*.txt|*.txt", u"");
    EXPECT_EQ(title, ToQString(c.title)) << c.name;
    const std::string shown = buttons.join(u'|').toStdString();
    ASSERT_EQ(buttons.size(), 2) << c.name << ": " << shown;
    EXPECT_EQ(buttons.filter(ToQString(c.save)).size(), 1) << c.name << ": " << shown;
    EXPECT_EQ(buttons.filter(ToQString(c.cancel)).size(), 1) << c.name << ": " << shown;
    QString ok;
    Answerer<QMessageBox> boxAnswer([&](QMessageBox& box) {
      ok = box.button(QMessageBox::Ok)->text().remove(u'&');
      box.button(QMessageBox::Ok)->click();
    });
    frmMain_.ShowMessageBox(u"保存成功啦!", MessageIcon::Information);
    EXPECT_TRUE(ok.startsWith(ToQString(c.ok))) << c.name << " " << ok.toStdString();
  }
  // Gone with the translations object.
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), saveAs);
}

TEST_F(PlatformTest, CancellingTheSystemSaveDialogGivesNothing) {
  Answerer<QFileDialog> answer([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_FALSE(window_.RunSaveDialog(u"文本文件*.txt|*.txt", u"earlier").has_value());
}

}  // namespace
}  // namespace velbrook::testing
