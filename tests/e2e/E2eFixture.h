#pragma once
// What the end-to-end tests share: the demo forum on loopback with its sample
// threads and the real window dialled to it, the expected output texts, and
// a whole extraction run as the worker makes it.
#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "app/Site.h"
#include "forum/ForumServer.h"
#include "tests/support/WindowProbe.h"
#include "text/MarkerText.h"

namespace velbrook::testing {

// An expected output text of e2e/expected/, kept as UTF-8 with CR LF line breaks.
Text Expected(const char* name);

// The targets of the requests that forum has had, in order.
std::vector<std::string> Targets(const ForumServer& forum);

// Turns the event loop until forum has had a request for target.
bool RequestArrived(const ForumServer& forum, const std::string& target);

// Types address and runs ToText on a thread of its own, as the worker does,
// while this thread turns the window's event loop. True when the run ended
// without a failure; otherwise failure holds what ended it.
bool RunToText(TestWindow& window, const Text& address, std::exception_ptr& failure);

// The demo forum with the sample threads, and the real window (not shown: the
// tests that click show it) whose HTTP client dials the forum.
class DemoForumTest : public ::testing::Test {
 protected:
  DemoForumTest();
  // The window goes first, before the members of the tests' own fixtures.
  void TearDown() override { window_.reset(); }

  // The output as saving reads it: CR LF between lines.
  Text Output() const { return window_->frmMain().ReadOutput(); }
  Text Progress() const { return window_->StatusPanelText(3); }  // the progress panel
  int Busy() const { return window_->frmMain().btnStart.Tag; }

  ForumServer forum_{kForumSiteAddress};
  std::unique_ptr<TestWindow> window_ = std::make_unique<TestWindow>();
  // Every message box the window showed, kept when the window goes.
  std::vector<MessageBoxRequest> boxesSeen_;
};

}  // namespace velbrook::testing
