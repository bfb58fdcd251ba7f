// Runs a test's body on a thread of its own that holds a context for its
// whole life, as a host's thread uses the library, and waits for it.
#pragma once

#include <gtest/gtest.h>

#include <thread>

#include "quorvel/quorvel.h"

namespace quorvel::testing {

template <typename Body>
void OnHostThread(Body body) {
  std::thread host([&] {
    ASSERT_NE(MTAddNew(nullptr), 0);
    body();
    MTRemove();
  });
  host.join();
}

}  // namespace quorvel::testing
