// Whole extraction runs against the demo forum: ToText on a worker thread of
// its own with the real window, while the test's thread turns the window's
// event loop; the HTTP client is dialled to the forum on loopback.
#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "fetch/FetchError.h"
#include "forum/SampleThreads.h"
#include "tests/e2e/E2eFixture.h"
#include "tests/support/CaseName.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

Text AddressOf(TextView name) { return kForumSiteAddress + FromUtf8(ThreadPagePath(name)); }

class ToTextRun : public DemoForumTest {
 protected:
  bool Run(const Text& address) { return RunToText(*window_, address, failure_); }

  std::exception_ptr failure_;
};

TEST_F(ToTextRun, SeveralPagesGiveTheAuthorsTextOfEveryPage) {
  ASSERT_TRUE(Run(kSampleThreadAddress));
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("serial_thread.txt")));
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:100.00%,(4/4)");
  // The typed page first, then every page of the list in order.
  const std::string dir = ToUtf8(kThreadDirectory);
  EXPECT_EQ(Targets(forum_),
            (std::vector<std::string>{dir + "2273274.shtml", dir + "2273274.shtml",
                                      dir + "2273274-2.shtml", dir + "2273274-3.shtml",
                                      dir + "2273274-4.shtml"}));
}

TEST_F(ToTextRun, OnePageThreadIsFetchedTwice) {
  ASSERT_TRUE(Run(AddressOf(kOnePageThreadName)));
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("one_page_thread.txt")));
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:100.00%,(1/1)");
  const std::string page = ThreadPagePath(kOnePageThreadName);
  EXPECT_EQ(Targets(forum_), (std::vector<std::string>{page, page}));
}

TEST_F(ToTextRun, EmptyFirstNameGivesNoHeaderAndNoFetch) {
  ASSERT_TRUE(Run(AddressOf(kUnnamedFirstThreadName)));
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("unnamed_first_thread.txt")));
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:100.00%,(3/3)");
  EXPECT_EQ(Targets(forum_),
            (std::vector<std::string>{ThreadPagePath(kUnnamedFirstThreadName),
                                      ThreadPagePath(u"2273290-2"), ThreadPagePath(u"2273290-3")}));
}

struct MidRunFailure {
  const char* name;
  PageFailure failure;
};

class ToTextFailingPage : public ToTextRun, public ::testing::WithParamInterface<MidRunFailure> {};

// Page 3 of 4 fails: pages 1 and 2 stay in the output, no later page is
// asked for, and the progress stops at page 3.
TEST_P(ToTextFailingPage, KeepsTheEarlierBlocks) {
  const std::string failing = ThreadPagePath(u"2273274-3");
  // The typed page goes through; the list's entry for page 3 fails.
  forum_.FailPage(failing, GetParam().failure);
  EXPECT_FALSE(Run(kSampleThreadAddress));
  const Text full = Expected("serial_thread.txt");
  const Text pages1And2 = Expected("serial_pages_1_2.txt");
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(pages1And2));
  EXPECT_EQ(full.substr(0, pages1And2.size()), pages1And2);
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:75.00%,(3/4)");
  ASSERT_FALSE(Targets(forum_).empty());
  EXPECT_EQ(Targets(forum_).back(), failing);
  EXPECT_THROW(std::rethrow_exception(failure_), FetchError);
}

INSTANTIATE_TEST_SUITE_P(Failures, ToTextFailingPage,
                         ::testing::Values(MidRunFailure{"Closed", PageFailure::Close},
                                           MidRunFailure{"Status500", PageFailure::Status500}),
                         RowName());

TEST_F(ToTextRun, FailedTypedPageKeepsThePreviousOutput) {
  ASSERT_TRUE(Run(kSampleThreadAddress));
  const Text before = Output();
  forum_.FailPage(ThreadPagePath(kOnePageThreadName), PageFailure::Status500);
  EXPECT_FALSE(Run(AddressOf(kOnePageThreadName)));
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(before));
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:100.00%,(4/4)");
}

TEST_F(ToTextRun, NextRunReplacesTheOutput) {
  ASSERT_TRUE(Run(kSampleThreadAddress));
  ASSERT_TRUE(Run(AddressOf(kOnePageThreadName)));
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("one_page_thread.txt")));
}

// Pages are fetched under the prefix of the typed address: a query with a
// "/" in it moves the prefix, and the pages are asked for under it.
TEST_F(ToTextRun, PagesUnderThePrefixOfTheTypedAddress) {
  ASSERT_TRUE(Run(AddressOf(kOnePageThreadName) + u"?from=a/b"));
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("one_page_thread.txt")));
  const std::vector<std::string> targets = Targets(forum_);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[1], ThreadPagePath(kOnePageThreadName) + "?from=a/" +
                            ToUtf8(kOnePageThreadName) + ".shtml");
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:100.00%,(1/1)");
}

// A trailing comma adds an empty last name: it is not fetched, but it counts
// in n and its progress is shown.
TEST_F(ToTextRun, EmptyLastNameHasItsProgress) {
  const std::string path = ToUtf8(kThreadDirectory) + "9998.shtml";
  forum_.AddRawPage(
      path, EncodeCp936(u"<!-- 开始点击数和分页链接 --><span class=\"pages\"></span>"
                        u"<div id=\"idArticleslist\"><input name=\"apn\" value=\"2273300,\"/>"
                        u"<input name=\"p\"/><!-- 结束点击数和分页链接 -->"));
  ASSERT_TRUE(Run(kForumSiteAddress + FromUtf8(path)));
  EXPECT_EQ(ToUtf8(Output()), ToUtf8(Expected("one_page_thread.txt")));
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:100.00%,(2/2)");
  EXPECT_EQ(Targets(forum_), (std::vector<std::string>{path, ThreadPagePath(kOnePageThreadName)}));
}

// The page's list names no page ("><input" before "value"): the typed page is
// fetched, the output emptied, and no progress is shown.
TEST_F(ToTextRun, EmptyPageListFetchesOnlyTheTypedPage) {
  ASSERT_TRUE(Run(kSampleThreadAddress));
  const std::string path = ToUtf8(kThreadDirectory) + "9999.shtml";
  forum_.AddRawPage(
      path, EncodeCp936(u"<!-- 开始点击数和分页链接 --><span class=\"pages\"></span>"
                        u"<div id=\"idArticleslist\"><input name=\"apn\"><input value=\"1\">"
                        u"<!-- 结束点击数和分页链接 -->"));
  forum_.ClearRecords();
  ASSERT_TRUE(Run(kForumSiteAddress + FromUtf8(path)));
  EXPECT_EQ(ToUtf8(Output()), "");
  EXPECT_EQ(Targets(forum_), std::vector<std::string>{path});
  EXPECT_EQ(ToUtf8(Progress()), "当前进度:100.00%,(4/4)");
}

}  // namespace
}  // namespace velbrook::testing
