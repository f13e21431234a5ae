// TfrmMain's message boxes: the caption of the moment, the default error box
// with the application title and its "." rule, guarded handlers, and the
// home-page items that stay silent when the browser fails.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/DefaultError.h"
#include "app/MainUnit.h"
#include "tests/app/FakeWindow.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

TEST(DefaultErrorTextTest, FullStopOnlyAfterACharacterAboveIt) {
  const struct {
    Text message;
    Text shown;
  } cases[] = {
      {u"", u""},
      {u"Stream write error", u"Stream write error."},
      {u"ends with a dot.", u"ends with a dot."},
      {u"hyphen-", u"hyphen-"},  // 0x2D
      {u"slash/", u"slash/."},   // 0x2F
      {u"space ", u"space "},    // 0x20
      {u"bang!", u"bang!"},      // 0x21
      {u"paren)", u"paren)"},    // 0x29
      {u"digit 9", u"digit 9."},
      {u"中文", u"中文."},
      {u"line\r\n", u"line\r\n"},
      {u".", u"."},
      {u"/", u"/."},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultErrorText(c.message), c.shown) << ToUtf8(c.message);
}

class MessageBoxTest : public ::testing::Test {
 protected:
  FakeWindow window_;
};

TEST_F(MessageBoxTest, MessageBoxCaptionIsTheWindowsCaptionAtThatMoment) {
  window_.frmMain.ShowMessageBox(u"保存成功啦!", MessageIcon::Information);
  window_.caption = u"changed";
  window_.frmMain.ShowMessageBox(u"second", MessageIcon::Error);
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].caption, u"Velbrook1.0b");
  EXPECT_EQ(window_.boxes[0].text, u"保存成功啦!");
  EXPECT_EQ(window_.boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(window_.boxes[1].caption, u"changed");
  EXPECT_EQ(window_.boxes[1].icon, MessageIcon::Error);
  EXPECT_EQ(static_cast<unsigned>(MessageIcon::Error), 0x10u);
  EXPECT_EQ(static_cast<unsigned>(MessageIcon::Information), 0x40u);
}

TEST_F(MessageBoxTest, DefaultErrorBoxHasTheApplicationTitleAndTheErrorIcon) {
  const Text previous = ApplicationTitle();
  SetApplicationTitle(u"Velbrook - Pellam软件");
  window_.frmMain.ShowDefaultErrorBox(u"Stream write error");
  SetApplicationTitle(previous);
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].caption, u"Velbrook - Pellam软件");
  EXPECT_EQ(window_.boxes[0].text, u"Stream write error.");
  EXPECT_EQ(window_.boxes[0].icon, MessageIcon::Error);
}

TEST_F(MessageBoxTest, AFailureEscapingAHandlerGoesToTheDefaultErrorBox) {
  bool after = false;
  window_.frmMain.RunGuarded(
      [] { throw std::runtime_error("Thread creation error: Resource temporarily unavailable"); });
  window_.frmMain.RunGuarded([&] { after = true; });  // the window carries on
  window_.frmMain.RunGuarded([] { throw 42; });
  EXPECT_TRUE(after);
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].text, u"Thread creation error: Resource temporarily unavailable.");
  EXPECT_EQ(window_.boxes[0].icon, MessageIcon::Error);
  EXPECT_FALSE(window_.boxes[1].text.empty());
}

TEST_F(MessageBoxTest, AFailingBrowserStaysSilent) {
  window_.browserFails = true;
  EXPECT_NO_THROW(window_.frmMain.N1Click());
  EXPECT_NO_THROW(window_.frmMain.N2Click());
  EXPECT_EQ(window_.opened, (std::vector<Text>(2, u"http://www.pellam.example")));
  EXPECT_TRUE(window_.boxes.empty());
}

}  // namespace
}  // namespace velbrook::testing
