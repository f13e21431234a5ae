#pragma once
// Sends the HTTP client's connections for the forum site's host to the demo
// forum on its loopback port, so that addresses, the Host header and cookies
// stay those of the real site. Header only (velbrook_demo): for what
// links the HTTP client beside the forum, the demo and the end-to-end tests.
#include <cstdint>
#include <string>

#include "fetch/Connector.h"
#include "fetch/FetchError.h"
#include "forum/ForumThread.h"
#include "os/Connect.h"
#include "text/MarkerText.h"

namespace velbrook {

// A connector that dials the forum for its site's host and refuses every
// other host, so that nothing leaves the machine.
inline Connector ForumConnector(TextView siteAddress, uint16_t forumPort) {
  return [host = SiteHost(siteAddress), forumPort](const std::string& requested, uint16_t) {
    if (requested != host)
      throw FetchError(FetchFailure::SocketError, "only " + host + " is served here: " + requested);
    return ConnectTcp("127.0.0.1", forumPort);
  };
}

}  // namespace velbrook
