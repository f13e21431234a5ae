#include "tests/e2e/E2eFixture.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "demo/ForumConnector.h"
#include "fetch/HttpClient.h"
#include "forum/SampleThreads.h"
#include "text/Encoding.h"

namespace velbrook::testing {

Text Expected(const char* name) {
  // From the build: the compiler's __FILE__ may be mapped to another folder.
  const auto path = std::filesystem::path(VELBROOK_E2E_EXPECTED_DIR) / name;
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file) << "cannot read " << path;
  return FromUtf8(std::string(std::istreambuf_iterator<char>(file), {}));
}

std::vector<std::string> Targets(const ForumServer& forum) {
  std::vector<std::string> targets;
  for (const RequestRecord& record : forum.Requests()) targets.push_back(record.target);
  return targets;
}

bool RequestArrived(const ForumServer& forum, const std::string& target) {
  return WaitUntil([&] {
    for (const RequestRecord& record : forum.Requests())
      if (record.target == target) return true;
    return false;
  });
}

bool RunToText(TestWindow& window, const Text& address, std::exception_ptr& failure) {
  SetAddress(window, address);
  failure = nullptr;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    try {
      window.frmMain().ToText();
    } catch (...) {
      failure = std::current_exception();
    }
    // A read waits until everything handed over before it has run.
    window.frmMain().ReadCaption();
    finished = true;
  });
  const bool ended = WaitUntil([&] { return finished.load(); });
  if (!ended) window.frmMain().idhtp().Abort();  // a hung run must not hang the test
  EXPECT_TRUE(ended || WaitUntil([&] { return finished.load(); })) << "the run did not end";
  worker.join();
  EXPECT_TRUE(ended) << "the run did not end in time";
  return failure == nullptr;
}

DemoForumTest::DemoForumTest() {
  AddSampleThreads(forum_);
  forum_.Start();
  window_->frmMain().idhtp().SetConnector(ForumConnector(kForumSiteAddress, forum_.Port()));
  window_->whileOpen = [this](const MessageBoxRequest& box) { boxesSeen_.push_back(box); };
}

}  // namespace velbrook::testing
