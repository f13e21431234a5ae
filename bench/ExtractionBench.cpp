// Page extraction without the network: page text in, page block out. The
// time per MB of a 4 MB page with 4000 posts is held against that of a 64 KB
// page with 64 posts (a linear extraction keeps them alike), and against a
// floor of 200 MB/s. Sizes are of the page as the forum sends it (code page
// 936 bytes); the page text handed to the extraction is that decoded.
#include <algorithm>
#include <chrono>

#include "bench/BenchSupport.h"
#include "page/Extraction.h"

namespace velbrook::bench {
namespace {

constexpr double kLinearityTarget = 1.5;
// The window's caption, as a first page's header names it.
const Text kCaption = u"Velbrook1.0b";
constexpr double kLargePageTargetMiBs = 200;

struct BenchPage {
  Text text;
  std::size_t bytes = 0;  // as served, in code page 936
  std::size_t posts = 0;
};

const BenchPage& PageOf(std::size_t posts, std::size_t pageBytes) {
  static std::map<std::size_t, BenchPage> pages;
  BenchPage& page = pages[posts];
  if (page.text.empty()) {
    const GeneratedThread sized = SizedPage(posts, pageBytes);
    page.text = PageText(sized, 0);
    page.bytes = PageBytes(sized, 0).size();
    page.posts = posts;
  }
  return page;
}

// Args: posts on the page, page size in KiB.
void BM_MakePageBlock(benchmark::State& state) {
  const BenchPage& page = PageOf(static_cast<std::size_t>(state.range(0)),
                                 static_cast<std::size_t>(state.range(1)) * 1024);
  const Text kind = u"S";
  std::size_t blockUnits = 0;
  for (auto _ : state) {
    const Text block = MakePageBlock(page.text, kind, kCaption);
    blockUnits = block.size();
    benchmark::DoNotOptimize(block.data());
  }
  // Half the generated posts are the author's: a block that lost them is no measure.
  if (blockUnits < page.text.size() / 4) state.SkipWithError("the block lost the author's posts");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.bytes));
  state.counters["page_MB"] = static_cast<double>(page.bytes) / kMiB;
  state.counters["block_units"] = static_cast<double>(blockUnits);
}
BENCHMARK(BM_MakePageBlock)
    ->Args({64, 64})
    ->Args({20, 200})  // a page of the whole-run thread
    ->Args({4000, 4096})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

double SecondsToExtract(const BenchPage& page, int times) {
  const Text kind = u"S";
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < times; ++i)
    benchmark::DoNotOptimize(MakePageBlock(page.text, kind, kCaption).data());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The two sizes taking turns, each turn over about the same number of bytes
// (the small page many times over), so that the machine's load weighs on both
// alike; the counters are the fastest turn of each, per MB.
void BM_LinearityTurns(benchmark::State& state) {
  const BenchPage& small = PageOf(64, 64 * 1024);
  const BenchPage& large = PageOf(4000, 4096 * 1024);
  const int repeats = static_cast<int>(large.bytes / small.bytes);
  double smallBest = 1e9, largeBest = 1e9;
  for (auto _ : state) {
    smallBest =
        std::min(smallBest, SecondsToExtract(small, repeats) / (repeats * small.bytes / kMiB));
    largeBest = std::min(largeBest, SecondsToExtract(large, 1) / (large.bytes / kMiB));
  }
  state.counters["small_s_per_MB"] = smallBest;
  state.counters["large_s_per_MB"] = largeBest;
}
BENCHMARK(BM_LinearityTurns)->Unit(benchmark::kMillisecond)->Iterations(40);

int Report(Scorecard& card) {
  const BestRun* small = card.Best("BM_MakePageBlock/64/64");
  const BestRun* large = card.Best("BM_MakePageBlock/4000/4096");
  if (small && large) {
    const double smallMB = small->counters.at("page_MB");
    const double largeMB = large->counters.at("page_MB");
    const double smallPerMB = small->seconds / smallMB;
    const double largePerMB = large->seconds / largeMB;
    card.Note(Format("64 posts, %.0f KB page", smallMB * 1024),
              Format("%.3f ms (%.0f MB/s)", small->seconds * 1e3, smallMB / small->seconds));
    card.Note(Format("4000 posts, %.2f MB page", largeMB),
              Format("%.2f ms (%.0f MB/s)", large->seconds * 1e3, largeMB / large->seconds));
    if (const BestRun* turns = card.Best("BM_LinearityTurns")) {
      const double ratio =
          turns->counters.at("large_s_per_MB") / turns->counters.at("small_s_per_MB");
      card.Add("time per MB, 4 MB page / 64 KB page (turns)", Format("%.2fx", ratio),
               Format("<= %.1fx", kLinearityTarget), ratio <= kLinearityTarget);
    }
    card.Note("the same from the separate bests", Format("%.2fx", largePerMB / smallPerMB));
    if (const BestRun* run = card.Best("BM_MakePageBlock/20/200")) {
      const double runMB = run->counters.at("page_MB");
      card.Note(Format("20 posts, %.0f KB page (as in the whole run)", runMB * 1024),
                Format("%.3f ms (%.0f MB/s)", run->seconds * 1e3, runMB / run->seconds));
    }
    const double rate = largeMB / large->seconds;
    card.Add("extraction rate, 4 MB page", Format("%.0f MB/s", rate),
             Format(">= %.0f MB/s", kLargePageTargetMiBs), rate >= kLargePageTargetMiBs);
  }
  return card.Print("extraction: page text -> page block (best of 5)");
}

}  // namespace
}  // namespace velbrook::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  velbrook::bench::Scorecard card;
  if (!card.RunBenchmarks()) return 1;
  return velbrook::bench::Report(card) == 0 ? 0 : 3;
}
