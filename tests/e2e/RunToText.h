#pragma once
// A whole extraction run as the worker makes it: ToText on a thread of its
// own with the real window, while the test's thread turns the window's event
// loop. Header only, for the end-to-end tests.
#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <thread>

#include "app/MainUnit.h"
#include "fetch/HttpClient.h"
#include "tests/support/WindowProbe.h"

namespace velbrook::testing {

// Types address and runs ToText. True when the run ended without a failure;
// otherwise failure holds what ended it.
inline bool RunToText(TfrmMain& window, const Text& address, std::exception_ptr& failure) {
  SetAddress(window, address);
  failure = nullptr;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    try {
      window.ToText();
    } catch (...) {
      failure = std::current_exception();
    }
    // A read waits until everything handed over before it has run.
    window.ReadCaption();
    finished = true;
  });
  const bool ended = WaitUntil([&] { return finished.load(); });
  if (!ended) window.idhtp().Abort();  // a hung run must not hang the test
  EXPECT_TRUE(ended || WaitUntil([&] { return finished.load(); })) << "the run did not end";
  worker.join();
  EXPECT_TRUE(ended) << "the run did not end in time";
  return failure == nullptr;
}

}  // namespace velbrook::testing
