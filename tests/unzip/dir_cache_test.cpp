// The cache of open directories: bounded whatever the depth of a walk and
// whoever else holds its directories, and found by parent and name.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tools/unzip/dir_cache.h"

namespace unzip {
namespace {

// An open directory that counts how many of its kind are alive.
struct FakeDir {
  static inline size_t alive = 0;
  FakeDir() { ++alive; }
  ~FakeDir() { --alive; }
};

using Cache = DirCache<FakeDir>;

Cache MakeCache(size_t limit) {
  return Cache(limit, [] { return FakeDir::alive; });
}

// Walks `depth` levels of `name` below the root as the trees' walks do: a
// level not held is made room for, opened and kept; only the level at hand
// is held by the walk. `queued` keeps every level, as files queued for
// writing keep their directories. Returns the most alive at once.
size_t Walk(Cache& cache, size_t depth, const std::string& name,
            std::vector<std::shared_ptr<FakeDir>>* queued = nullptr) {
  size_t most = 0;
  uint64_t parent = Cache::kRoot;
  std::shared_ptr<FakeDir> dir;
  for (size_t i = 0; i < depth; ++i) {
    Cache::Node* node = cache.Find(parent, name);
    if (!node) {
      cache.MakeRoom();
      node = cache.Insert(parent, name, std::make_shared<FakeDir>());
    }
    parent = node->id;
    dir = node->dir;
    if (queued) queued->push_back(dir);
    most = std::max(most, FakeDir::alive);
  }
  return most;
}

TEST(DirCache, AWalkOfAnyDepthKeepsNoMoreOpenThanTheLimit) {
  {
    Cache cache = MakeCache(16);
    // The limit, and the level the walk holds itself.
    EXPECT_LE(Walk(cache, 10000, "d"), 17u);
    EXPECT_LE(cache.size(), 16u);
    // Walked again, the deepest levels are the ones still held.
    EXPECT_LE(Walk(cache, 10000, "d"), 17u);
  }
  EXPECT_EQ(FakeDir::alive, 0u);
}

TEST(DirCache, DirectoriesHeldElsewhereCountAndAreDrainedAtTheLimit) {
  std::vector<std::shared_ptr<FakeDir>> queued;
  size_t drains = 0;
  {
    Cache cache = MakeCache(16);
    cache.SetDrain([&] {
      ++drains;
      queued.clear();
    });
    EXPECT_LE(Walk(cache, 1000, "d", &queued), 17u);
    EXPECT_GT(drains, 0u);
  }
  {
    // Held elsewhere only, the cache empty: they count all the same.
    Cache cache = MakeCache(16);
    cache.SetDrain([&] {
      ++drains;
      queued.clear();
    });
    for (int i = 0; i < 40; ++i) queued.push_back(std::make_shared<FakeDir>());
    const size_t before = drains;
    EXPECT_LE(Walk(cache, 1, "d"), 1u);
    EXPECT_EQ(drains, before + 1);
  }
  queued.clear();
  EXPECT_EQ(FakeDir::alive, 0u);
}

TEST(DirCache, ALevelIsFoundByItsParentAndItsName) {
  Cache cache = MakeCache(8);
  Cache::Node* a = cache.Insert(Cache::kRoot, "a", std::make_shared<FakeDir>());
  const uint64_t aId = a->id;
  Cache::Node* ab = cache.Insert(aId, "b", std::make_shared<FakeDir>());
  const uint64_t abId = ab->id;
  Cache::Node* b = cache.Insert(Cache::kRoot, "b", std::make_shared<FakeDir>());
  EXPECT_NE(b->id, abId);
  ASSERT_NE(cache.Find(Cache::kRoot, "a"), nullptr);
  ASSERT_NE(cache.Find(aId, "b"), nullptr);
  EXPECT_EQ(cache.Find(aId, "b")->id, abId);
  EXPECT_EQ(cache.Find(abId, "a"), nullptr);
  // A name that runs on into the next byte of the key is another name.
  EXPECT_EQ(cache.Find(Cache::kRoot, "a\x01"), nullptr);
  // Crowded out and opened again, a level has a new identity: what was held
  // below the old one is not found below it, and is opened again from it.
  for (int i = 0; i < 16; ++i) {
    cache.MakeRoom();
    cache.Insert(Cache::kRoot, "x" + std::to_string(i), std::make_shared<FakeDir>());
  }
  EXPECT_EQ(cache.Find(Cache::kRoot, "a"), nullptr);
  cache.MakeRoom();
  Cache::Node* again = cache.Insert(Cache::kRoot, "a", std::make_shared<FakeDir>());
  EXPECT_NE(again->id, aId);
  EXPECT_EQ(cache.Find(again->id, "b"), nullptr);
}

}  // namespace
}  // namespace unzip
