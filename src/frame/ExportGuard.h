// Every exported function runs its body through Guarded: no exception ever
// leaves the library, a failure becomes the function's neutral value.
#pragma once

#include <exception>
#include <utility>

#include "frame/LogEvents.h"

namespace quorvel {

// Location number logged for an exception that reached an export.
inline constexpr uint32_t kLocationExportBoundary = 1;

template <typename Result, typename Body>
Result Guarded(Result neutral, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception& error) {
    try {
      LogException(kLocationExportBoundary, error);
    } catch (...) {
    }
  } catch (...) {
  }
  return neutral;
}

template <typename Body>
void GuardedVoid(Body&& body) noexcept {
  Guarded(0, [&] {
    std::forward<Body>(body)();
    return 0;
  });
}

}  // namespace quorvel
