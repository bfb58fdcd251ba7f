// Runs a test body on a thread of its own that is a host thread of the
// library: it has a context from MTAddNew for the body's whole run.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "quorvel/quorvel.h"

namespace quorvel::testing {

inline void OnHostThread(const std::function<void()>& body) {
  std::thread host([&] {
    ASSERT_NE(MTAddNew(nullptr), 0);
    body();
    MTRemove();
  });
  host.join();
}

}  // namespace quorvel::testing
