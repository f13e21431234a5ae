#pragma once
// Dialling out: the IPv4 address of a host, and a blocking connect to it
// that a waker lent to the calling thread can cut short.
#include <cstdint>
#include <string>
#include <system_error>

#include "os/Socket.h"
#include "os/Wait.h"

namespace velbrook {

// A dotted IPv4 host is used as it is, any other host is looked up (IPv4
// only, first address; every call looks again); then a blocking connect with
// no limit of ours, the system's own. Throws std::system_error: with the
// lookup's code (LookupCategory()) when the name is not found, with the
// system's code when the connect fails, and with errc::operation_canceled
// when the waker of a ConnectWakeScope on this thread was raised meanwhile.
Socket ConnectTcp(const std::string& host, uint16_t port);

// The category of the lookup's own codes (EAI_* here).
const std::error_category& LookupCategory();

// Lends ConnectTcp on this thread a waker for as long as it lives, so that
// code built on ConnectTcp (a replaceable connector) can be cut short.
class ConnectWakeScope {
 public:
  explicit ConnectWakeScope(const Waker& waker);
  ~ConnectWakeScope();
  ConnectWakeScope(const ConnectWakeScope&) = delete;
  ConnectWakeScope& operator=(const ConnectWakeScope&) = delete;
  // The waker of the innermost scope of this thread; null outside any.
  static const Waker* Current();

 private:
  const Waker* previous_;
};

}  // namespace velbrook
