// The in-memory registry, read: open keys share their nodes with the tree,
// so a key stays readable however the tree changes meanwhile.
#include <mutex>

#include "platform/Registry.h"
#include "platform/posix/RegistryTree.h"

namespace quorvel::platform {

using registry_tree::ForEachComponent;
using registry_tree::TheTree;
using registry_tree::Tree;

namespace registry_tree {

Tree& TheTree() {
  static Tree tree;
  return tree;
}

}  // namespace registry_tree

int32_t OpenRegistryKey(RegistryRoot root, std::string_view path, uint32_t /*access*/,
                        RegistryHandle& key) {
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  std::shared_ptr<RegistryNode> node = tree.roots[static_cast<size_t>(root)];
  ForEachComponent(path, [&](std::string_view name) {
    const auto found = node->subkeys.find(name);
    node = found == node->subkeys.end() ? nullptr : found->second;
    return node != nullptr;
  });
  if (!node) return kRegistryNotFound;
  key = node;
  return kRegistrySuccess;
}

int32_t QueryRegistryValue(const RegistryHandle& key, std::string_view name, uint32_t& type,
                           std::string& data, uint32_t capacity, uint32_t& size) {
  if (!key) return kRegistryInvalidHandle;
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  const auto found = key->values.find(name);
  if (found == key->values.end()) return kRegistryNotFound;
  type = kRegistryTypeString;
  size = static_cast<uint32_t>(found->second.size() + 1);
  if (size > capacity) return kRegistryMoreData;
  data = found->second;
  return kRegistrySuccess;
}

int32_t EnumerateRegistryKey(const RegistryHandle& key, uint32_t index, std::string& name,
                             uint32_t capacity) {
  if (!key) return kRegistryInvalidHandle;
  Tree& tree = TheTree();
  std::lock_guard hold(tree.lock);
  if (index >= key->subkeys.size()) return kRegistryNoMoreItems;
  const std::string& found = std::next(key->subkeys.begin(), index)->first;
  if (found.size() >= capacity) return kRegistryMoreData;
  name = found;
  return kRegistrySuccess;
}

}  // namespace quorvel::platform
