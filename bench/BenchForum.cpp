// The demo forum serving the large thread of the whole-run benchmark, as a
// process of its own: curl and the run benchmark fetch from it side by side,
// and its page cache stays out of the measured process's memory.
//   bench_forum [--warm]   prints "port N", the first page's address and that of
//                          the network-bound thread once serving, then serves
//                          until its standard input closes.
// --warm writes every page beforehand, so no fetch pays for writing one.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "bench/BenchSupport.h"
#include "forum/ForumServer.h"
#include "text/Encoding.h"

int main(int argc, char** argv) {
  using namespace velbrook;
  const bool warm = argc > 1 && std::strcmp(argv[1], "--warm") == 0;
  ForumServer forum(bench::kBenchSiteAddress);
  forum.Start();
  bench::ServeBenchThreads(forum, warm);
  std::printf("port %u\n%s\n%s\n", forum.Port(),
              ToUtf8(bench::PageAddress(bench::RunThread(), 0)).c_str(),
              ToUtf8(bench::PageAddress(bench::NetworkThread(), 0)).c_str());
  std::fflush(stdout);
  char sink[256];
  while (read(STDIN_FILENO, sink, sizeof sink) > 0) {
  }
  forum.Stop();
  return 0;
}
