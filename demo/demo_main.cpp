// The demo: the bundled sample forum on a loopback port, and the normal main
// window whose HTTP client reaches that forum for the forum site's host.
// Pressing Start on the sample address dehydrates the sample thread; no
// connection leaves the machine.
#include <cstdio>
#include <exception>

#include "app/MainUnit.h"
#include "app/Site.h"
#include "demo/ForumConnector.h"
#include "fetch/HttpClient.h"
#include "forum/ForumServer.h"
#include "forum/SampleThreads.h"
#include "qt/Application.h"
#include "qt/StartUp.h"

int main(int argc, char** argv) {
  velbrook::Application application(argc, argv);
  // Declared before the window is made, so it outlives it and any job the
  // window still runs when it closes.
  velbrook::ForumServer forum(velbrook::kForumSiteAddress);
  velbrook::AddSampleThreads(forum);
  try {
    forum.Start();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "velbrook-demo: the sample forum cannot listen on 127.0.0.1: %s\n",
                 failure.what());
    return 1;
  }
  std::fprintf(stderr, "velbrook-demo: sample forum for %s on 127.0.0.1:%u\n",
               velbrook::SiteHost(velbrook::kForumSiteAddress).c_str(),
               static_cast<unsigned>(forum.Port()));
  return velbrook::RunMainWindow([&forum](TfrmMain& window) {
    window.idhtp().SetConnector(
        velbrook::ForumConnector(velbrook::kForumSiteAddress, forum.Port()));
  });
}
