// The breadth-first tree walks (copy, delete, count), written once over a
// system's directory primitives: filetree_posix.cpp and filetree_win32.cpp
// each give a tree type (`Fs` below) that lists, makes, copies and removes in
// the system's own names, relative to the roots it was made with.
//
// What `Fs` provides:
//   Name                      the system's own name text (bytes, UTF-16)
//   static IsSeparator(c)     a character that would split a name
//   static Join(dir, name)    a relative path one level down ("" is the root)
//   kMakesDirectoryLinks      whether a link to a directory is made again
//   kFoldsCase, Fold(name)    whether the destination takes names that differ
//                             in case for one, and the name it compares
//   List(rel)                 optional Listing with `entries` (raw, "." and
//                             ".." included); nullopt when it cannot be listed
//   MakeDir(rel)              makes the destination directory ("" the root),
//                             a link in its place replaced; false on failure
//   OpenCopyDir(rel)          the source and destination directory of rel
//   CopyEntry(dir, name, k)   copies one entry that is not a directory
//   SourcePath(rel, name)     the entry's path in the system code page (only
//                             where links to directories are passed over)
//   DeleteEntry(listing, e)   removes a file or link (never what it names)
//   RemoveDir(rel)            removes an empty directory ("" the root)
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/filetree.h"

namespace platform {

// The system's copy plan behind a TreeCopy.
class TreeCopy::Impl {
 public:
  virtual ~Impl() = default;
  virtual bool MakeDirectories(std::vector<std::string>& passedOver) = 0;
  virtual size_t FileCount() const = 0;
  virtual bool CopyFiles(size_t begin, size_t end) const = 0;
  virtual bool CopyFilesOnThreads(unsigned threads) const = 0;
};

namespace tree_walk {

// Runs `work` on `count` threads at once, the calling thread one of them,
// and returns when all have ended; on fewer when the system gives no more
// (the caller's at least). `work` must not throw. One per system.
void RunOnThreads(unsigned count, const std::function<void()>& work);
// The processors this process may run on; at least 1. One per system.
unsigned ProcessorCount();

enum class Kind {
  kDirectory,      // walked
  kDirectoryLink,  // a link, junction or reparse point to a directory: never walked
  kOther,          // a file, a link to one, a dangling link, anything else
};

template <class Name>
struct Entry {
  Name name;
  Kind kind;
};

enum class Verdict { kSkip, kUse, kRefuse };

// Decides for each name of one listing whether it names an entry of that
// directory. The listing's own "." and ".." (once each) are skipped; a name
// that holds a separator or NUL, is empty, or is a second "." or ".." would
// lead elsewhere and is refused.
template <class Fs>
class NameGuard {
 public:
  using Name = typename Fs::Name;

  Verdict Check(const Name& name) {
    if (IsDots(name, 1)) return Once(seenDot_);
    if (IsDots(name, 2)) return Once(seenDotDot_);
    if (name.empty()) return Verdict::kRefuse;
    for (auto c : name) {
      if (c == 0 || Fs::IsSeparator(c)) return Verdict::kRefuse;
    }
    return Verdict::kUse;
  }

 private:
  static bool IsDots(const Name& name, size_t count) {
    return name.size() == count && name.find_first_not_of(typename Name::value_type('.')) == Name::npos;
  }
  static Verdict Once(bool& seen) {
    if (seen) return Verdict::kRefuse;
    seen = true;
    return Verdict::kSkip;
  }

  bool seenDot_ = false;
  bool seenDotDot_ = false;
};

// The one breadth-first walk: `dirs` is filled with the relative paths of
// the directories that are entered, a parent before its children, the root
// ("") first. For each directory that can be listed, `entered(rel)` is
// called, then `found(listing, index of rel in dirs, entry)` for each of its
// entries that is not a directory. A refused name stops the walk (false) or is left alone.
enum class OnRefused { kStop, kLeave };

template <class Fs, class Entered, class Found>
bool WalkBreadthFirst(const Fs& fs, std::vector<typename Fs::Name>& dirs, OnRefused onRefused,
                      Entered&& entered, Found&& found) {
  using Name = typename Fs::Name;
  dirs.assign(1, Name());
  for (size_t i = 0; i < dirs.size(); ++i) {
    const Name rel = dirs[i];  // a copy: push_back may move the slots
    auto listing = fs.List(rel);
    if (!listing) continue;
    entered(rel);
    NameGuard<Fs> guard;
    for (auto& entry : listing->entries) {
      const Verdict verdict = guard.Check(entry.name);
      if (verdict == Verdict::kRefuse && onRefused == OnRefused::kStop) return false;
      if (verdict != Verdict::kUse) continue;
      if (entry.kind == Kind::kDirectory) {
        dirs.push_back(Fs::Join(rel, entry.name));
      } else {
        found(*listing, i, entry);
      }
    }
  }
  return true;
}

// A tree copy in two phases: the directories breadth first, then the file
// copies, which are independent of each other.
template <class Fs>
class CopyPlan final : public TreeCopy::Impl {
 public:
  using Name = typename Fs::Name;

  explicit CopyPlan(Fs fs) : fs_(std::move(fs)) {}

  // Makes every destination directory whose source can be listed, breadth
  // first, and lists the entries to copy. Links to directories that the
  // system does not make again are added to `passedOver`. False when a
  // listed name is refused or memory ran out.
  bool MakeDirectories(std::vector<std::string>& passedOver) override {
    try {
      return Walk(passedOver);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  size_t FileCount() const override { return jobs_.size(); }

  // Copies entries [begin, end) of the list; false at the first failure.
  // Ranges that do not overlap may be copied at the same time.
  bool CopyFiles(size_t begin, size_t end) const override {
    Cursor cursor;
    return CopyRange(begin, end, cursor, nullptr);
  }

  // Threads take units (below) one at a time from a shared counter, so a
  // thread held up by a large file leaves the rest to the others.
  bool CopyFilesOnThreads(unsigned threads) const override {
    const size_t units = units_.empty() ? 0 : units_.size() - 1;
    if (units == 0) return true;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    RunOnThreads(static_cast<unsigned>(std::clamp<size_t>(threads, 1, units)), [&] {
      Cursor cursor;  // each thread its own open directories
      while (!failed.load(std::memory_order_relaxed)) {
        const size_t unit = next.fetch_add(1, std::memory_order_relaxed);
        if (unit >= units) break;
        if (!CopyRange(units_[unit], units_[unit + 1], cursor, &failed)) {
          failed.store(true, std::memory_order_relaxed);
        }
      }
    });
    return !failed.load();
  }

  // Entries of one directory that one thread copies in a row: enough that
  // a directory's open is shared, few enough that the last ones spread.
  static constexpr size_t kUnitEntries = 16;
  // The first entry of every unit, then the number of entries.
  const std::vector<size_t>& Units() const { return units_; }

 private:
  struct Job {
    size_t dir;  // index in dirs_
    Name name;
    Kind kind;
  };

  // The directory pair a thread has open, kept while its entries come.
  struct Cursor {
    std::optional<typename Fs::CopyDir> dir;
    size_t open = SIZE_MAX;
  };

  // Copies [begin, end); false at a failure. Ends early, without failing,
  // once `stop` is set: another thread failed.
  bool CopyRange(size_t begin, size_t end, Cursor& cursor, const std::atomic<bool>* stop) const {
    try {
      for (size_t i = begin; i < end && i < jobs_.size(); ++i) {
        if (stop && stop->load(std::memory_order_relaxed)) return true;
        const Job& job = jobs_[i];
        if (job.dir != cursor.open) {
          cursor.dir.reset();
          cursor.open = SIZE_MAX;
          cursor.dir.emplace(fs_.OpenCopyDir(dirs_[job.dir]));
          cursor.open = job.dir;
        }
        if (!fs_.CopyEntry(*cursor.dir, job.name, job.kind)) return false;
      }
      return true;
    } catch (...) {  // memory; nothing else may leave a thread
      return false;
    }
  }

  // Units of at most kUnitEntries entries of one directory. A directory
  // holding two names that the destination takes for one stays a single
  // unit, so they are copied in the listed order, the later one last, as
  // one thread copies them.
  void SplitIntoUnits() {
    units_.clear();
    for (size_t begin = 0; begin < jobs_.size();) {
      size_t end = begin;
      while (end < jobs_.size() && jobs_[end].dir == jobs_[begin].dir) ++end;
      const size_t step = end - begin > kUnitEntries && !NamesCollide(begin, end) ? kUnitEntries : end - begin;
      for (size_t i = begin; i < end; i += step) units_.push_back(i);
      begin = end;
    }
    units_.push_back(jobs_.size());
  }

  bool NamesCollide(size_t begin, size_t end) const {
    if constexpr (Fs::kFoldsCase) {
      std::vector<Name> folded;
      folded.reserve(end - begin);
      for (size_t i = begin; i < end; ++i) folded.push_back(Fs::Fold(jobs_[i].name));
      std::sort(folded.begin(), folded.end());
      return std::adjacent_find(folded.begin(), folded.end()) != folded.end();
    } else {
      return false;
    }
  }

  bool Walk(std::vector<std::string>& passedOver) {
    jobs_.clear();
    units_.clear();
    const bool walked = WalkBreadthFirst(
        fs_, dirs_, OnRefused::kStop,
        // Nothing is made for what cannot be listed; a directory that cannot
        // be made shows in the copies below it.
        [&](const Name& rel) { fs_.MakeDir(rel); },
        [&](auto&, size_t dir, Entry<Name>& entry) {
          if constexpr (!Fs::kMakesDirectoryLinks) {
            if (entry.kind == Kind::kDirectoryLink) {
              passedOver.push_back(fs_.SourcePath(dirs_[dir], entry.name));
              return;
            }
          }
          jobs_.push_back({dir, std::move(entry.name), entry.kind});
        });
    if (walked) SplitIntoUnits();
    return walked;
  }

  Fs fs_;
  std::vector<Name> dirs_;     // relative paths; a parent before its children
  std::vector<Job> jobs_;      // in the order of their directories
  std::vector<size_t> units_;  // see Units()
};

// Deletes the tree, root included, as far as it can. Links are removed,
// never entered; a refused name is left alone, and so its directory.
template <class Fs>
void DeleteTree(const Fs& fs) {
  try {
    std::vector<typename Fs::Name> dirs;
    WalkBreadthFirst(
        fs, dirs, OnRefused::kLeave, [](const auto&) {},
        [&](const auto& listing, size_t, const auto& entry) { fs.DeleteEntry(listing, entry); });
    // Children before their parents.
    for (size_t i = dirs.size(); i-- > 0;) fs.RemoveDir(dirs[i]);
  } catch (const std::bad_alloc&) {
    // What was not reached stays, like anything else that cannot go.
  }
}

// Entries that are neither directories nor links to one; links are never
// entered and refused names not counted. 0 when the root cannot be listed.
template <class Fs>
int64_t CountFiles(const Fs& fs) {
  int64_t files = 0;
  try {
    std::vector<typename Fs::Name> dirs;
    WalkBreadthFirst(fs, dirs, OnRefused::kLeave, [](const auto&) {},
                     [&](const auto&, size_t, const auto& entry) {
                       if (entry.kind == Kind::kOther) ++files;
                     });
  } catch (const std::bad_alloc&) {
  }
  return files;
}

}  // namespace tree_walk
}  // namespace platform
