// The in-memory registry of systems without one: one tree per root. Names
// keep their spelling and compare without regard to case, as Windows does;
// subkeys are listed in the order of their names. The lock covers filling
// (by the tests, platform/testing) and reading (Registry.cpp).
#pragma once

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace quorvel::platform {

namespace registry_tree {

inline char Folded(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Folded(x) < Folded(y); });
  }
};

}  // namespace registry_tree

struct RegistryNode {
  std::map<std::string, std::shared_ptr<RegistryNode>, registry_tree::NameLess> subkeys;
  std::map<std::string, std::string, registry_tree::NameLess> values;
};

namespace registry_tree {

inline constexpr size_t kRootCount = 7;

struct Tree {
  std::mutex lock;
  std::array<std::shared_ptr<RegistryNode>, kRootCount> roots;
  Tree() { Clear(); }
  void Clear() {
    for (auto& root : roots) root = std::make_shared<RegistryNode>();
  }
};

// The one tree of the process.
Tree& TheTree();

// Calls `visit` with each non-empty component of a backslash-separated path
// until it answers false.
template <typename Visit>
void ForEachComponent(std::string_view path, Visit visit) {
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('\\', start), path.size());
    if (end > start && !visit(path.substr(start, end - start))) return;
    start = end + 1;
  }
}

}  // namespace registry_tree

}  // namespace quorvel::platform
