#pragma once
// What the benchmark programs share: the pages they measure on, the process's
// memory figures, and the scorecard that prints every figure beside its target
// once the runs are done (best of the repetitions, so a busy moment of the
// machine does not decide a verdict).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fetch/Connector.h"
#include "forum/ForumServer.h"
#include "forum/ForumThread.h"
#include "text/MarkerText.h"

namespace velbrook::bench {

// The forum site address the benchmarks fetch under (the window's own).
inline constexpr char16_t kBenchSiteAddress[] = u"http://www.forum.example";
inline constexpr char kBenchSiteHost[] = "www.forum.example";

// The large thread of the whole-run benchmark: 500 pages of about 200 KB.
GeneratedThread RunThread();
// The thread of the network-bound run: 100 pages like those of RunThread,
// each answered kNetworkDelayMs late, as from a distant server.
GeneratedThread NetworkThread();
inline constexpr int kNetworkDelayMs = 20;
// One page of the given number of posts, each post sized so that the page
// comes close to pageBytes in code page 936.
GeneratedThread SizedPage(std::size_t posts, std::size_t pageBytes);

// Page index of thread written as the forum writes it: text, and code page 936 bytes.
Text PageText(const GeneratedThread& thread, std::size_t index);
std::string PageBytes(const GeneratedThread& thread, std::size_t index);
// The address of page index (from 0) of thread on the bench site.
Text PageAddress(const GeneratedThread& thread, std::size_t index);

// A connector that dials 127.0.0.1:port whatever host the address names, so
// the client's Host header and cookies stay those of the real site.
Connector LoopbackConnector(uint16_t port);
// Fetches every page of thread once from the forum on port (which writes a
// generated page on its first request and keeps it).
void WarmForum(uint16_t port, const GeneratedThread& thread);
// Serves RunThread and NetworkThread on the running forum, with the delay of
// NetworkThread's pages; warm: every page written before this returns.
void ServeBenchThreads(ForumServer& forum, bool warm);

// Resident memory of this process now and at its peak so far, in bytes.
std::size_t ResidentBytes();
std::size_t PeakResidentBytes();
// Hands freed memory back to the system and starts the peak afresh from the
// resident memory of now, so that the next peak is that of what follows.
void ResetPeakResident();

inline constexpr double kMiB = 1024.0 * 1024.0;

// Best (smallest) real time per iteration of every benchmark run so far, in
// seconds, with the counters of that best repetition.
struct BestRun {
  double seconds = 0;
  std::map<std::string, double> counters;
};

class Scorecard {
 public:
  // Runs the registered benchmarks with a console reporter that also keeps
  // the best repetition of each; returns false when none ran.
  bool RunBenchmarks();
  // The best run of a benchmark by its full name ("BM_Decode/4"); null if it
  // did not run, which the table then shows as a missed figure.
  const BestRun* Best(const std::string& name);

  // One line of the closing table. met: whether the figure reaches its target.
  void Add(const std::string& figure, const std::string& measured, const std::string& target,
           bool met);
  // A line that has no target of its own (context for the reader).
  void Note(const std::string& figure, const std::string& measured);
  // Prints the table; returns the number of figures that missed their target.
  int Print(const std::string& title) const;

 private:
  struct Line {
    std::string figure, measured, target, verdict;
  };
  std::map<std::string, BestRun> best_;
  std::vector<Line> lines_;
  std::vector<std::string> notRun_;
};

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velbrook::bench
