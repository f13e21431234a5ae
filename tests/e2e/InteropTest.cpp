// Whole runs against real web servers of the machine: nginx and Python's
// http.server (which speaks HTTP/1.0 and closes after every answer without
// saying so) serve the pages of a generated thread as files on loopback.
// Every run, run after run and with the processor busy beside it, must give
// the text that the demo forum gives for the same thread, every page asked of
// the server itself, and between runs the server closes the connection that
// the last run left kept alive.
#include <gtest/gtest.h>
#include <QTest>

#include <atomic>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/MainUnit.h"
#include "app/Site.h"
#include "demo/ForumConnector.h"
#include "fetch/HttpClient.h"
#include "forum/ForumServer.h"
#include "tests/e2e/E2eFixture.h"
#include "tests/support/CaseName.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "text/Encoding.h"

namespace velbrook::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;
// The typed page and 7 pages: 8 requests a run, so that nginx ends one kept-
// alive connection after its third request and leaves the last one idle.
const GeneratedThread kShape{u"9100000", 7, 6, 300};
constexpr int kRequestsPerRun = 8;
// Longer than nginx's keep-alive time-out below.
constexpr int kIdlePauseMs = 400;

Text FirstPageAddress() { return kForumSiteAddress + FromUtf8(ThreadPagePath(kShape.firstName)); }

// Every page of the thread as the forum writes it, as files under root.
void WritePages(const fs::path& root) {
  const ForumThread skeleton = GeneratedSkeleton(kShape);
  for (size_t i = 0; i < skeleton.pages.size(); ++i) {
    const fs::path path = root / ThreadPagePath(skeleton.pages[i].name).substr(1);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        << EncodeCp936(WriteThreadPage(skeleton, i, GeneratedPage(kShape, i), kForumSiteAddress));
  }
}

// nginx in the foreground as one process, its files all in dir; it ends a
// kept-alive connection after three requests or 200 ms idle.
std::vector<std::string> Nginx(const fs::path& program, const fs::path& dir, uint16_t port) {
  const std::string d = dir.string();
  std::ofstream(dir / "nginx.conf")
      << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << d << "/nginx.pid;\n"
      << "error_log " << d << "/error.log;\nevents { worker_connections 64; }\nhttp {\n"
      << "  access_log " << d << "/access.log;\n  keepalive_requests 3;\n"
      << "  keepalive_timeout 200ms;\n"
      << "  client_body_temp_path " << d << "/body;\n  proxy_temp_path " << d << "/proxy;\n"
      << "  fastcgi_temp_path " << d << "/fastcgi;\n  uwsgi_temp_path " << d << "/uwsgi;\n"
      << "  scgi_temp_path " << d << "/scgi;\n"
      << "  server { listen 127.0.0.1:" << port << "; root " << d
      << "/www; default_type text/html; }\n}\n";
  return {program.string(), "-e", d + "/error.log", "-p", d, "-c", d + "/nginx.conf"};
}

std::vector<std::string> PythonHttpServer(const fs::path& program, const fs::path& dir,
                                          uint16_t port) {
  return {program.string(), "-m",        "http.server", std::to_string(port),
          "--bind",         "127.0.0.1", "--directory", (dir / "www").string()};
}

// Keeps both cores busy for as long as it lives.
class CpuLoad {
 public:
  CpuLoad() {
    for (int i = 0; i < 2; ++i)
      spinners_.emplace_back([this] {
        uint64_t x = 1;
        while (!stop_.load(std::memory_order_relaxed)) x = x * 6364136223846793005u + 1;
        sink_.store(x, std::memory_order_relaxed);
      });
  }
  ~CpuLoad() {
    stop_ = true;
    for (std::thread& spinner : spinners_) spinner.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> sink_{0};
  std::vector<std::thread> spinners_;
};

std::string What(const std::exception_ptr& failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
  }
  return "?";
}

// The requests for the thread's pages that a server logged, one line each.
int PageRequestsLogged(const fs::path& log) {
  std::ifstream file(log);
  int count = 0;
  for (std::string line; std::getline(file, line);)
    count += line.find("\"GET /publicforum/") != std::string::npos;
  return count;
}

struct InteropCase {
  const char* name;
  const char* program;
  std::function<std::vector<std::string>(const fs::path&, const fs::path&, uint16_t)> command;
  const char* requestLog;  // in the server's folder
  bool keepsAlive;         // the last connection of a run stays open, idle
  bool underLoad;
};

class InteropRun : public DemoForumTest, public ::testing::WithParamInterface<InteropCase> {};

TEST_P(InteropRun, EveryRunGivesWhatTheDemoForumGives) {
  const fs::path program = InstalledProgram(GetParam().program);
  if (program.empty())
    GTEST_SKIP() << GetParam().program << " is not installed (scripts/setup installs it)";
  TempDir dir;
  WritePages(dir.path() / "www");
  std::exception_ptr failure;
  forum_.AddGeneratedThread(kShape);
  ASSERT_TRUE(RunToText(*window_, FirstPageAddress(), failure)) << What(failure);
  const Text expected = Output();
  ASSERT_GT(expected.size(), kShape.pageCount * kShape.postChars);

  ServerProcess server([&](uint16_t port) { return GetParam().command(program, dir.path(), port); },
                       dir.path() / "server.log");
  // A window of its own: none of the demo forum's connections is kept.
  window_ = std::make_unique<TestWindow>();
  HttpClient& client = window_->frmMain().idhtp();
  client.SetConnector(ForumConnector(kForumSiteAddress, server.port()));
  std::optional<CpuLoad> load;
  if (GetParam().underLoad) load.emplace();
  for (int run = 0; run < kRuns; ++run) {
    if (run > 0) QTest::qWait(kIdlePauseMs);
    ASSERT_TRUE(RunToText(*window_, FirstPageAddress(), failure))
        << "run " << run << ": " << What(failure);
    const Text output = Output();
    ASSERT_TRUE(output == expected) << "run " << run << " gave " << output.size()
                                    << " code units, the demo forum " << expected.size();
    if (GetParam().keepsAlive) {
      EXPECT_TRUE(client.HasConnection()) << "after run " << run;
    }
  }
  EXPECT_EQ(PageRequestsLogged(dir.path() / GetParam().requestLog), kRuns * kRequestsPerRun);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, InteropRun,
    ::testing::Values(InteropCase{"Nginx", "nginx", Nginx, "access.log", true, false},
                      InteropCase{"NginxUnderLoad", "nginx", Nginx, "access.log", true, true},
                      InteropCase{"PythonHttp10", "python3", PythonHttpServer, "server.log", false,
                                  false},
                      InteropCase{"PythonHttp10UnderLoad", "python3", PythonHttpServer,
                                  "server.log", false, true}),
    RowName());

}  // namespace
}  // namespace velbrook::testing
