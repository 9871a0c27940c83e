// The directories below the destination that a tree keeps open, found by
// their parent and their own name: a walk looks each component up once, so
// that its cost grows with the length of a name alone, and no key holds a
// whole path, so that the memory of a deep name does too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace unzip {

// `Dir` is an open directory. Every one alive counts against the limit,
// wherever it is held: here, by a walk under way, by files queued for
// writing. `open` tells how many are alive.
template <class Dir>
class DirCache {
 public:
  // The parent of the first level below the root.
  static constexpr uint64_t kRoot = 0;

  struct Node {
    std::shared_ptr<Dir> dir;
    uint64_t id = 0;  // the parent of the level below
    uint64_t lastUse = 0;
    int mode = -1;  // the permission bits, once known
  };

  DirCache(size_t limit, std::function<size_t()> open)
      : limit_(std::max<size_t>(limit, kSmallest)), open_(std::move(open)) {}

  // `drain` is asked to let go of every directory held outside the cache
  // when the limit is reached and the cache alone cannot make room.
  void SetDrain(std::function<void()> drain) { drain_ = std::move(drain); }

  size_t limit() const { return limit_; }
  size_t size() const { return nodes_.size(); }

  // The node of `name` below `parent`, marked as used; nullptr when it is
  // not held.
  Node* Find(uint64_t parent, std::string_view name) {
    auto it = nodes_.find(Key(parent, name));
    if (it == nodes_.end()) return nullptr;
    it->second.lastUse = ++clock_;
    return &it->second;
  }

  // Called before a directory is opened, so that one more fits: lets go of
  // the least recently used, and drains when that is not enough. Nodes found
  // before may be gone afterwards.
  void MakeRoom() {
    if (nodes_.size() < limit_ && open_() < limit_) return;
    DropOldest();
    if (open_() >= limit_ && drain_) drain_();
  }

  Node* Insert(uint64_t parent, std::string_view name, std::shared_ptr<Dir> dir) {
    Node& node = nodes_[Key(parent, name)];
    node.dir = std::move(dir);
    node.id = ++ids_;
    node.lastUse = ++clock_;
    node.mode = -1;
    return &node;
  }

 private:
  static constexpr size_t kSmallest = 4;

  static std::string Key(uint64_t parent, std::string_view name) {
    std::string key(sizeof parent, '\0');
    std::memcpy(key.data(), &parent, sizeof parent);
    key += name;
    return key;
  }

  // The least recently used quarter, at least one: a cache at its limit
  // sorts once per quarter of its size.
  void DropOldest() {
    if (nodes_.empty()) return;
    std::vector<uint64_t> uses;
    uses.reserve(nodes_.size());
    for (const auto& item : nodes_) uses.push_back(item.second.lastUse);
    const size_t drop = std::max<size_t>(1, uses.size() / 4);
    std::nth_element(uses.begin(), uses.begin() + (drop - 1), uses.end());
    const uint64_t cut = uses[drop - 1];
    for (auto it = nodes_.begin(); it != nodes_.end();) {
      it = it->second.lastUse <= cut ? nodes_.erase(it) : std::next(it);
    }
  }

  size_t limit_;
  std::function<size_t()> open_;
  std::function<void()> drain_;
  std::unordered_map<std::string, Node> nodes_;
  uint64_t clock_ = 0;
  uint64_t ids_ = kRoot;
};

}  // namespace unzip
