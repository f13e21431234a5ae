// A whole job as the user starts it: the real window (offscreen), the Start
// button, the worker fetching the 500 pages of about 200 KB of the bench
// forum over one loopback connection, every block appended to the output.
// Measured: the job's time (against the output box's own floor, the job's
// blocks handed to the same box without the network; against the same work
// without the window; and beside curl's for the same addresses, when
// scripts/bench passes it),
// the longest stall of the window's thread seen by a timer probe, the
// process's peak resident memory against the output's size; on windows of
// their own, the time of each append of that output and the window's intake
// of output handed over by a worker, in long lines and in short ones; and a
// job of 100 pages whose answers the forum delays by 20 ms, against curl.
//
//   run_bench [--forum-port=N] [--runs=N] [--curl-command=CMD]
//             [--network-curl-command=CMD] [--no-appends]
// CMD (a shell command fetching the same pages with curl) takes turns with
// the jobs, so that the machine's load weighs on both alike.
// Without --forum-port the forum runs in a child process of its own, so that
// its page cache stays out of this process's memory figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/MainUnit.h"
#include "app/Site.h"
#include "bench/BenchSupport.h"
#include "fetch/HttpClient.h"
#include "forum/ForumServer.h"
#include "page/Extraction.h"
#include "qt/QtWindow.h"
#include "text/Encoding.h"

namespace velbrook::bench {
namespace {

// The job against the box's floor: the worker's fetching and extraction go on
// beside the window's intake, so little more than the intake itself is left.
constexpr double kFloorRatioTarget = 1.2;
constexpr double kWindowlessRatioTarget = 2.0;
constexpr double kNetworkCurlRatioTarget = 1.02;
// Lines of the short-line intake: a page full of one-line replies.
constexpr std::size_t kShortLineUnits = 16;
constexpr double kStallTargetMs = 50;
constexpr double kAppendTargetMs = 20;
constexpr double kMemoryFactorTarget = 4;
constexpr double kMemoryAllowanceBytes = 80 * kMiB;
// The probe's period: a gap beyond it is time the window's thread was busy.
constexpr int kProbeIntervalMs = 5;
// A job that has not ended by then is broken, not slow.
constexpr int kJobDeadlineMs = 600000;
constexpr char16_t kRule[] =
    u"--------------------------------------------------------------------";

struct Options {
  std::optional<uint16_t> forumPort;
  int runs = 3;
  std::string curlCommand;         // fetches the same pages; run between the jobs
  std::string networkCurlCommand;  // the same for the network-bound thread
  bool appends = true;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--forum-port=", 0) == 0) {
      options.forumPort = static_cast<uint16_t>(std::stoul(arg.substr(13)));
    } else if (arg.rfind("--runs=", 0) == 0) {
      options.runs = std::max(1, std::stoi(arg.substr(7)));
    } else if (arg == "--no-appends") {
      options.appends = false;
    } else if (arg.rfind("--curl-command=", 0) == 0) {
      options.curlCommand = arg.substr(15);
    } else if (arg.rfind("--network-curl-command=", 0) == 0) {
      options.networkCurlCommand = arg.substr(23);
    } else {
      std::fprintf(stderr, "run_bench: unknown argument %s\n", arg.c_str());
      std::exit(2);
    }
  }
  return options;
}

// The forum in a child process, forked before this process has any thread.
class ForumChild {
 public:
  ForumChild() {
    int portPipe[2], holdPipe[2];
    if (pipe(portPipe) != 0 || pipe(holdPipe) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      close(portPipe[0]);
      close(holdPipe[1]);
      Serve(portPipe[1], holdPipe[0]);
    }
    close(portPipe[1]);
    close(holdPipe[0]);
    hold_ = holdPipe[1];
    uint16_t port = 0;
    if (read(portPipe[0], &port, sizeof port) != sizeof port)
      throw std::runtime_error("forum child");
    close(portPipe[0]);
    port_ = port;
  }
  ~ForumChild() {
    close(hold_);  // the child serves until this end closes
    waitpid(pid_, nullptr, 0);
  }
  uint16_t port() const { return port_; }

 private:
  [[noreturn]] static void Serve(int portFd, int holdFd) {
    {
      ForumServer forum(kBenchSiteAddress);
      forum.Start();
      ServeBenchThreads(forum, true);
      const uint16_t port = forum.Port();
      [[maybe_unused]] ssize_t written = write(portFd, &port, sizeof port);
      char sink[64];
      while (read(holdFd, sink, sizeof sink) > 0) {
      }
      forum.Stop();
    }
    _exit(0);
  }

  pid_t pid_ = -1;
  int hold_ = -1;
  uint16_t port_ = 0;
};

struct RunResult {
  double seconds = 0;
  std::size_t peakBytes = 0;  // resident, at the job's end: before its output is read back
  double longestGapMs = 0;
  std::size_t outputUnits = 0;
  std::size_t rules = 0;
};

std::size_t CountOf(const Text& text, TextView pattern) {
  std::size_t count = 0;
  for (std::size_t at = text.find(pattern); at != Text::npos;
       at = text.find(pattern, at + pattern.size()))
    ++count;
  return count;
}

// One job on a fresh window: the Start button pressed, the event loop run
// until the busy flag is back at 0 (the worker's last change, after every
// append).
RunResult RunJob(QApplication& app, uint16_t port, const GeneratedThread& thread) {
  QtWindow shown;
  TfrmMain& window = shown.frmMain();
  window.idhtp().SetConnector(LoopbackConnector(port));
  shown.show();
  shown.findChild<QLineEdit*>(QStringLiteral("edtWebSite"))
      ->setText(QString::fromStdString(ToUtf8(PageAddress(thread, 0))));
  auto* start = shown.findChild<QPushButton*>(QStringLiteral("btnStart"));  // the Sender
  app.processEvents();

  RunResult result;
  QElapsedTimer clock;
  qint64 lastTick = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(kProbeIntervalMs);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    result.longestGapMs = std::max(result.longestGapMs, static_cast<double>(now - lastTick) * 1e-6);
    lastTick = now;
    if (window.btnStart.Tag == 0) {
      result.seconds = static_cast<double>(now) * 1e-9;
      app.quit();
    } else if (now > qint64{kJobDeadlineMs} * 1000000) {
      std::fprintf(stderr, "run_bench: the job did not end within %d ms\n", kJobDeadlineMs);
      std::exit(1);
    }
  });
  clock.start();
  // The Start button's handler, as its click calls it.
  window.btnStartClick(start);
  probe.start();
  app.exec();
  probe.stop();
  result.peakBytes = PeakResidentBytes();
  const Text output = window.ReadOutput();
  result.outputUnits = output.size();
  result.rules = CountOf(output, kRule);
  return result;
}

// The worker's share of a job without the window: the typed page and then
// every page fetched, decoded and made into its block, on one connection,
// exactly as the run does it but with nothing handed over.
// With extract false, only the fetches: the HTTP client beside curl.
double FetchAndExtractSeconds(uint16_t port, const GeneratedThread& thread, bool extract) {
  HttpClient client;
  client.SetConnector(LoopbackConnector(port));
  const auto start = std::chrono::steady_clock::now();
  std::size_t units = 0;
  for (std::size_t i = 0; i <= thread.pageCount; ++i) {
    const std::size_t index = i == 0 ? 0 : i - 1;  // the typed page comes first, then every page
    std::string body;
    client.Get(PageAddress(thread, index), body);
    if (!extract) {
      units += body.size();
      continue;
    }
    const Text page = DecodeCp936(body);
    units += MakePageBlock(page, index == 0 ? u"F" : u"S", kWindowCaption).size();
  }
  benchmark::DoNotOptimize(units);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct AppendResult {
  double longestMs = 0;
  double longestInsertMs = 0;  // the append alone, without the events after it
  double totalSeconds = 0;
  std::size_t blocks = 0;
  std::size_t outputUnits = 0;
};

// The page blocks of thread, made beforehand, outside any timing.
std::vector<Text> PageBlocks(const GeneratedThread& thread) {
  std::vector<Text> blocks;
  for (std::size_t i = 0; i < thread.pageCount; ++i)
    blocks.push_back(MakePageBlock(PageText(thread, i), i == 0 ? u"F" : u"S", kWindowCaption));
  return blocks;
}

// Every block appended on the window's thread to a fresh window, each
// append timed together with the events (layout, paint) it leaves behind.
AppendResult AppendWholeOutput(QApplication& app, const std::vector<Text>& blocks) {
  QtWindow shown;
  TfrmMain& window = shown.frmMain();
  shown.show();
  app.processEvents();
  AppendResult result;
  for (const Text& block : blocks) {
    const auto start = std::chrono::steady_clock::now();
    window.AppendOutput(block);
    const auto inserted = std::chrono::steady_clock::now();
    app.processEvents();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.longestMs = std::max(result.longestMs, seconds * 1e3);
    result.longestInsertMs = std::max(
        result.longestInsertMs, std::chrono::duration<double>(inserted - start).count() * 1e3);
    result.totalSeconds += seconds;
    ++result.blocks;
  }
  result.outputUnits = window.ReadOutput().size();
  return result;
}

// The same blocks with a line break after every lineUnits units of a line.
std::vector<Text> InShortLines(const std::vector<Text>& blocks, std::size_t lineUnits) {
  std::vector<Text> folded;
  for (const Text& block : blocks) {
    Text lines;
    lines.reserve(block.size() + block.size() / lineUnits * 2);
    std::size_t lineLength = 0;
    for (const char16_t unit : block) {
      if (unit == u'\r' || unit == u'\n') {
        lineLength = 0;
      } else if (lineLength++ == lineUnits) {
        lines += u"\r\n";
        lineLength = 1;
      }
      lines += unit;
    }
    folded.push_back(std::move(lines));
  }
  return folded;
}

struct IntakeResult {
  double seconds = 0;
  double outputBytes = 0;
  std::size_t lines = 0;  // of the output
  double MBps() const { return outputBytes / kMiB / seconds; }
};

// The window's intake alone, the output box's floor for a job: a worker
// hands blocks over as fast as the hand-over takes them, in the same slices
// as in a job, then clears the busy flag; timed until the window's thread has
// carried that out, its event loop turning as in a job.
IntakeResult TakeIn(QApplication& app, const std::vector<Text>& blocks) {
  QtWindow shown;
  TfrmMain& window = shown.frmMain();
  shown.show();
  app.processEvents();
  window.btnStart.Tag = 1;
  std::size_t expectedUnits = 0;
  for (const Text& block : blocks) expectedUnits += block.size() + 2;
  const auto start = std::chrono::steady_clock::now();
  std::thread worker([&] {
    for (const Text& block : blocks) window.AppendOutput(block);
    window.ClearBusyFlag();
  });
  while (window.btnStart.Tag != 0) app.processEvents(QEventLoop::WaitForMoreEvents);
  IntakeResult result;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  worker.join();
  const std::size_t units = window.ReadOutput().size();
  if (units != expectedUnits) {
    std::fprintf(stderr, "run_bench: the intake's output holds %zu units, not %zu\n", units,
                 expectedUnits);
    std::exit(1);
  }
  result.outputBytes = static_cast<double>(units) * sizeof(char16_t);
  for (const Text& block : blocks) result.lines += 1 + CountOf(block, u"\r\n");
  return result;
}

double CommandSeconds(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "run_bench: the curl command failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Best(double best, double seconds) { return best == 0 ? seconds : std::min(best, seconds); }

// The posts of the thread's author that a job's output holds.
std::size_t ExpectedRules(const GeneratedThread& thread) {
  return thread.pageCount * ((thread.postsPerPage + 1) / 2);
}

int Main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  // Forked while this process has no thread yet.
  std::optional<ForumChild> child;
  if (!options.forumPort) child.emplace();
  const uint16_t port = options.forumPort ? *options.forumPort : child->port();

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const GeneratedThread thread = RunThread();
  const std::size_t residentBefore = ResidentBytes();

  Scorecard card;
  RunResult best;
  double longestGapMs = 0;
  std::size_t outputUnits = 0;
  std::size_t peak = 0;
  double curlSeconds = 0, workerSeconds = 0, fetchSeconds = 0;
  for (int run = 0; run < options.runs; ++run) {
    if (!options.curlCommand.empty())
      curlSeconds = Best(curlSeconds, CommandSeconds(options.curlCommand));
    fetchSeconds = Best(fetchSeconds, FetchAndExtractSeconds(port, thread, false));
    workerSeconds = Best(workerSeconds, FetchAndExtractSeconds(port, thread, true));
    ResetPeakResident();
    const RunResult result = RunJob(app, port, thread);
    peak = std::max(peak, result.peakBytes);
    std::printf(
        "run %d: %.3f s, longest gap of the window's thread %.1f ms, output %zu units, %zu posts\n",
        run + 1, result.seconds, result.longestGapMs, result.outputUnits, result.rules);
    std::fflush(stdout);
    if (result.rules != ExpectedRules(thread)) {
      std::fprintf(stderr, "run_bench: the output holds %zu posts, not %zu\n", result.rules,
                   ExpectedRules(thread));
      return 1;
    }
    if (run == 0 || result.seconds < best.seconds) best = result;
    longestGapMs = std::max(longestGapMs, result.longestGapMs);
    outputUnits = result.outputUnits;
  }
  const double outputBytes = static_cast<double>(outputUnits) * sizeof(char16_t);

  // The network-bound job, curl taking turns with it.
  const GeneratedThread network = NetworkThread();
  double networkSeconds = 0, networkCurlSeconds = 0;
  for (int run = 0; run < options.runs; ++run) {
    if (!options.networkCurlCommand.empty())
      networkCurlSeconds = Best(networkCurlSeconds, CommandSeconds(options.networkCurlCommand));
    const RunResult result = RunJob(app, port, network);
    if (result.rules != ExpectedRules(network)) {
      std::fprintf(stderr, "run_bench: the network-bound output holds %zu posts, not %zu\n",
                   result.rules, ExpectedRules(network));
      return 1;
    }
    std::printf("network-bound run %d: %.3f s, longest gap of the window's thread %.1f ms\n",
                run + 1, result.seconds, result.longestGapMs);
    std::fflush(stdout);
    networkSeconds = Best(networkSeconds, result.seconds);
    longestGapMs = std::max(longestGapMs, result.longestGapMs);
  }

  // Made after the jobs, so that they stay out of the jobs' memory figures.
  AppendResult appends;
  IntakeResult longLines, shortLines;
  {
    const std::vector<Text> blocks = PageBlocks(thread);
    if (options.appends) appends = AppendWholeOutput(app, blocks);
    const std::vector<Text> folded = InShortLines(blocks, kShortLineUnits);
    for (int run = 0; run < options.runs; ++run) {
      const IntakeResult inLong = TakeIn(app, blocks);
      if (run == 0 || inLong.seconds < longLines.seconds) longLines = inLong;
      const IntakeResult inShort = TakeIn(app, folded);
      if (run == 0 || inShort.seconds < shortLines.seconds) shortLines = inShort;
    }
  }

  card.Note(Format("whole run, %zu pages (best of %d)", thread.pageCount, options.runs),
            Format("%.3f s", best.seconds));
  card.Note(Format("fetch + decode + extract alone, no window (best of %d)", options.runs),
            Format("%.3f s", workerSeconds));
  card.Note(Format("fetch alone, HttpClient, 501 requests (best of %d)", options.runs),
            Format("%.3f s", fetchSeconds));
  const double windowless = best.seconds / workerSeconds;
  card.Add("whole run / the same without the window", Format("%.2fx", windowless),
           Format("<= %.1fx", kWindowlessRatioTarget), windowless <= kWindowlessRatioTarget);
  card.Note(Format("the output box's floor: the job's blocks into the same box (best of %d)",
                   options.runs),
            Format("%.3f s", longLines.seconds));
  const double overFloor = best.seconds / longLines.seconds;
  card.Add("whole run / the output box's floor", Format("%.2fx", overFloor),
           Format("<= %.1fx", kFloorRatioTarget), overFloor <= kFloorRatioTarget);
  if (curlSeconds > 0) {
    // curl has no output box: beside the job, not a target for it.
    card.Note("curl, the same 500 addresses on one connection", Format("%.3f s", curlSeconds));
    card.Note("whole run / curl", Format("%.2fx", best.seconds / curlSeconds));
    card.Note("fetch + decode + extract alone / curl",
              Format("%.2fx", workerSeconds / curlSeconds));
    card.Note("fetch alone / curl", Format("%.2fx", fetchSeconds / curlSeconds));
  }
  // The window's intake beside the pace at which the worker alone makes output.
  card.Note("output made by the worker alone",
            Format("%.0f MB/s", outputBytes / kMiB / workerSeconds));
  for (const auto& [name, intake] :
       {std::pair{"the job's output", longLines}, {"the same in short lines", shortLines}})
    card.Note(Format("window's intake, %s, %zu lines", name, intake.lines),
              Format("%.0f MB/s", intake.MBps()));
  card.Note(Format("network-bound run, %zu pages answered %d ms late (best of %d)",
                   network.pageCount, kNetworkDelayMs, options.runs),
            Format("%.3f s", networkSeconds));
  if (networkCurlSeconds > 0) {
    card.Note(Format("curl, the same %zu addresses", network.pageCount + 1),
              Format("%.3f s", networkCurlSeconds));
    const double ratio = networkSeconds / networkCurlSeconds;
    card.Add("network-bound run / curl", Format("%.3fx", ratio),
             Format("<= %.2fx", kNetworkCurlRatioTarget), ratio <= kNetworkCurlRatioTarget);
  }
  card.Add(Format("longest stall of the window's thread (%d ms probe)", kProbeIntervalMs),
           Format("%.1f ms", longestGapMs), Format("<= %.0f ms", kStallTargetMs),
           longestGapMs <= kStallTargetMs);
  if (options.appends) {
    card.Add(Format("longest append, %zu blocks of %.0f MB", appends.blocks,
                    static_cast<double>(appends.outputUnits) * sizeof(char16_t) / kMiB),
             Format("%.1f ms", appends.longestMs), Format("<= %.0f ms", kAppendTargetMs),
             appends.longestMs <= kAppendTargetMs);
    card.Note("longest append without the events after it",
              Format("%.1f ms", appends.longestInsertMs));
    card.Note("all appends together", Format("%.3f s", appends.totalSeconds));
  }
  const double limit = kMemoryFactorTarget * outputBytes + kMemoryAllowanceBytes;
  card.Note("output text (UTF-16)", Format("%.1f MB", outputBytes / kMiB));
  card.Note("resident before the first job",
            Format("%.1f MB", static_cast<double>(residentBefore) / kMiB));
  card.Add("peak resident memory of a job (whole process)",
           Format("%.1f MB", static_cast<double>(peak) / kMiB), Format("<= %.0f MB", limit / kMiB),
           static_cast<double>(peak) <= limit);
  return card.Print("whole run: window, worker and forum on loopback") == 0 ? 0 : 3;
}

}  // namespace
}  // namespace velbrook::bench

int main(int argc, char** argv) { return velbrook::bench::Main(argc, argv); }
