// Filling the in-memory registry for the tests.
#include "platform/posix/RegistryTree.h"
#include "platform/testing/RegistryFill.h"

namespace quorvel::platform {

using registry_tree::ForEachComponent;
using registry_tree::TheTree;
using registry_tree::Tree;

void SetRegistryString(RegistryRoot root, std::string_view path, std::string_view name,
                       std::string_view value) {
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  RegistryNode* node = tree.roots[static_cast<size_t>(root)].get();
  ForEachComponent(path, [&](std::string_view component) {
    auto& child = node->subkeys[std::string(component)];
    if (!child) child = std::make_shared<RegistryNode>();
    node = child.get();
    return true;
  });
  node->values[std::string(name)] = std::string(value);
}

void ClearRegistry() {
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  tree.Clear();
}

}  // namespace quorvel::platform
