#include "bench/BenchSupport.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>

#include "fetch/HttpClient.h"
#include "os/Connect.h"
#include "text/Encoding.h"

namespace velbrook::bench {
namespace {

// Bytes of one post's markup around its text, and of a page around its posts,
// near enough to size a page (the page's real size is always measured).
constexpr std::size_t kPostMarkupBytes = 240;
constexpr std::size_t kPageMarkupBytes = 1200;
// Filler characters are Chinese: two bytes each in code page 936.
constexpr std::size_t kBytesPerFillerChar = 2;

std::size_t StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stoul(line.substr(prefix.size()));
  return 0;
}

class KeepingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal: scripts/bench output is read from files too.
  explicit KeepingReporter(std::map<std::string, BestRun>& best)
      : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular), best_(best) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      // Keyed by function and arguments only: repetitions and time kind aside.
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      auto [it, fresh] = best_.try_emplace(name);
      if (!fresh && it->second.seconds <= seconds) continue;
      it->second.seconds = seconds;
      it->second.counters.clear();
      for (const auto& [key, counter] : run.counters) it->second.counters[key] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

 private:
  std::map<std::string, BestRun>& best_;
};

}  // namespace

GeneratedThread RunThread() { return GeneratedThread{}; }

GeneratedThread NetworkThread() {
  GeneratedThread thread;
  thread.firstName = u"9100000";
  thread.pageCount = 100;
  return thread;
}

GeneratedThread SizedPage(std::size_t posts, std::size_t pageBytes) {
  GeneratedThread thread;
  thread.pageCount = 1;
  thread.postsPerPage = posts;
  const std::size_t perPost = (pageBytes - kPageMarkupBytes) / posts;
  thread.postChars =
      perPost > kPostMarkupBytes ? (perPost - kPostMarkupBytes) / kBytesPerFillerChar : 1;
  // The markup estimate is rough: one correction from the real size.
  const double written = static_cast<double>(PageBytes(thread, 0).size());
  const double missing = (static_cast<double>(pageBytes) - written) / static_cast<double>(posts);
  const double corrected = static_cast<double>(thread.postChars) + missing / kBytesPerFillerChar;
  thread.postChars = corrected > 1 ? static_cast<std::size_t>(corrected + 0.5) : 1;
  return thread;
}

Text PageText(const GeneratedThread& thread, std::size_t index) {
  return WriteThreadPage(GeneratedSkeleton(thread), index, GeneratedPage(thread, index),
                         kBenchSiteAddress);
}

std::string PageBytes(const GeneratedThread& thread, std::size_t index) {
  return EncodeCp936(PageText(thread, index));
}

Text PageAddress(const GeneratedThread& thread, std::size_t index) {
  return Text(kBenchSiteAddress) +
         FromUtf8(ThreadPagePath(NumberedPageName(thread.firstName, index + 1)));
}

Connector LoopbackConnector(uint16_t port) {
  return [port](const std::string&, uint16_t) { return ConnectTcp("127.0.0.1", port); };
}

void WarmForum(uint16_t port, const GeneratedThread& thread) {
  HttpClient client;
  client.SetConnector(LoopbackConnector(port));
  for (std::size_t i = 0; i < thread.pageCount; ++i) {
    std::string body;
    client.Get(PageAddress(thread, i), body);
  }
}

void ServeBenchThreads(ForumServer& forum, bool warm) {
  const GeneratedThread run = RunThread();
  const GeneratedThread network = NetworkThread();
  forum.AddGeneratedThread(run);
  forum.AddGeneratedThread(network);
  if (warm) {
    // The forum writes a generated page when it is first asked for it.
    WarmForum(forum.Port(), run);
    WarmForum(forum.Port(), network);
  }
  for (std::size_t number = 1; number <= network.pageCount; ++number)
    forum.DelayPage(ThreadPagePath(NumberedPageName(network.firstName, number)), kNetworkDelayMs);
}

std::size_t ResidentBytes() { return StatusKiB("VmRSS") * 1024; }
std::size_t PeakResidentBytes() { return StatusKiB("VmHWM") * 1024; }

void ResetPeakResident() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";  // Linux: resets VmHWM to VmRSS
}

bool Scorecard::RunBenchmarks() {
  KeepingReporter reporter(best_);
  return benchmark::RunSpecifiedBenchmarks(&reporter) > 0;
}

const BestRun* Scorecard::Best(const std::string& name) {
  const auto it = best_.find(name);
  if (it != best_.end()) return &it->second;
  notRun_.push_back(name);
  return nullptr;
}

void Scorecard::Add(const std::string& figure, const std::string& measured,
                    const std::string& target, bool met) {
  lines_.push_back({figure, measured, target, met ? "ok" : "MISSED"});
}

void Scorecard::Note(const std::string& figure, const std::string& measured) {
  lines_.push_back({figure, measured, "-", ""});
}

int Scorecard::Print(const std::string& title) const {
  int missed = 0;
  std::printf("\n== %s ==\n%-52s %-18s %-16s %s\n", title.c_str(), "figure", "measured", "target",
              "verdict");
  for (const Line& line : lines_) {
    std::printf("%-52s %-18s %-16s %s\n", line.figure.c_str(), line.measured.c_str(),
                line.target.c_str(), line.verdict.c_str());
    if (line.verdict == "MISSED") ++missed;
  }
  // A benchmark that failed or was left out gives no figure: a miss too.
  for (const std::string& name : notRun_) {
    std::printf("%-52s %-18s %-16s %s\n", name.c_str(), "did not run", "-", "MISSED");
    ++missed;
  }
  std::fflush(stdout);
  return missed;
}

std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

}  // namespace velbrook::bench
