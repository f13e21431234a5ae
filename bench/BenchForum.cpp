// The demo forum serving the large thread of the whole-run benchmark, as a
// process of its own: curl and the run benchmark fetch from it side by side,
// and its page cache stays out of the measured process's memory.
//   bench_forum [--warm]   prints "port N" and the first page's address once
//                          listening, then serves until its standard input closes.
// --warm writes every page before listening, so no fetch pays for writing one.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "bench/BenchSupport.h"
#include "forum/ForumServer.h"
#include "text/Encoding.h"

int main(int argc, char** argv) {
  using namespace velbrook;
  const bool warm = argc > 1 && std::strcmp(argv[1], "--warm") == 0;
  const GeneratedThread thread = bench::RunThread();
  ForumServer forum(bench::kBenchSiteAddress);
  forum.AddGeneratedThread(thread);
  forum.Start();
  if (warm) {
    // The forum writes a generated page when it is first asked for it.
    bench::WarmForum(forum.Port(), thread);
  }
  std::printf("port %u\n%s\n", forum.Port(), ToUtf8(bench::PageAddress(thread, 0)).c_str());
  std::fflush(stdout);
  char sink[256];
  while (read(STDIN_FILENO, sink, sizeof sink) > 0) {
  }
  forum.Stop();
  return 0;
}
