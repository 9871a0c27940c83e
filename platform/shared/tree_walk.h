// The tree walks (copy, delete, count), written once over a system's
// directory primitives: filetree_posix.cpp and filetree_win32.cpp each give
// a cursor type that stands in one directory of a tree and moves one level
// at a time. Nothing is addressed by its whole path from the root, so a walk
// costs in proportion to the tree (entries and name bytes) whatever its
// depth, and holds a bounded number of directory handles.
//
// The walks are depth first over an explicit stack (no recursion): a
// directory is listed, made or counted before anything below it, and
// removed after everything below it. (Breadth first would need a handle on
// every directory of a level, or a walk down from the root per directory:
// W chains D deep cost W x D x D steps with fewer than W handles.)
//
// What a cursor provides:
//   Name                      the system's own name text (bytes, UTF-16)
//   static IsSeparator(c)     a character that would split a name
//   kMakesDirectoryLinks      whether a link to a directory is made again
//   kFoldsCase, Fold(name)    whether the destination takes names that differ
//                             in case for one, and the name it compares
//   Clone()                   a cursor standing at the same root
//   Blocked()                 whether it stands nowhere because its root
//                             could not be opened for want of means (Step)
//   List()                    optional vector of Entry (raw: "." and ".."
//                             included) of the current directory; nullopt
//                             when it cannot be listed. Once per directory.
//   Down(name)                into a subdirectory, never through a link, not
//                             even one put in its place since the listing (Step)
//   MakeRoot(), MakeDown(name)  a destination's root or subdirectory made (a
//                             link in its place replaced) and entered; false
//                             when it cannot be, and the cursor stays
//   Up()                      back to the parent directory; false when the
//                             way back no longer leads to the directory it
//                             came from (the tree was moved meanwhile)
//   CopyFrom(source, name, k) copies one entry that is not a directory from
//                             the source cursor's directory into this one
//   PathOf(name)              an entry's path in the system code page (only
//                             where links to directories are passed over)
//   Delete(entry)             removes a file or link (never what it names)
//   RemoveSubdir(name)        removes an empty subdirectory
//   RemoveRoot()              removes the root once it is empty
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

// Directory handles a cursor keeps open besides its root: the deepest of its
// way down. A shallower one is opened again through ".." when the cursor
// climbs back to it, and must then still be the directory it left.
inline constexpr size_t kHeldDirectories = 8;

enum class Kind {
  kDirectory,      // walked
  kDirectoryLink,  // a link or junction to a directory: never walked
  kOther,          // a file, a link to one, a dangling link, anything else
};

template <class Name>
struct Entry {
  Name name;
  Kind kind;
};

// Stepping into a subdirectory.
enum class Step {
  kEntered,
  kUnreachable,  // cannot be opened or listed: walked past
  kTooDeep,      // beyond what the system can name (Windows path length)
  kBlocked,      // cannot be opened now: no descriptor or memory left, or
                 // (Windows) another program holds it against the walk
};

// Windows: a listed entry's kind from its attributes and, for a reparse
// point, its tag (WIN32_FIND_DATAW.dwReserved0). Only links lead elsewhere:
// symbolic links, junctions and any other tag marked as a name surrogate (an
// alias for another name), and a reparse point whose tag is not given (Wine
// lists a Unix link to a directory that way). Any other reparse point (cloud
// placeholders, deduplicated, WIM- or compression-backed files) is the file
// or directory it presents.
namespace windows {
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;
inline constexpr uint32_t kTagMountPoint = 0xA0000003;  // junction
inline constexpr uint32_t kTagSymlink = 0xA000000C;
inline constexpr uint32_t kTagNameSurrogateBit = 0x20000000;

constexpr bool IsLink(uint32_t attributes, uint32_t tag) {
  if (!(attributes & kAttributeReparsePoint)) return false;
  return tag == 0 || tag == kTagSymlink || tag == kTagMountPoint || (tag & kTagNameSurrogateBit) != 0;
}

constexpr Kind KindOf(uint32_t attributes, uint32_t tag) {
  if (!(attributes & kAttributeDirectory)) return Kind::kOther;
  return IsLink(attributes, tag) ? Kind::kDirectoryLink : Kind::kDirectory;
}
}  // namespace windows

enum class Verdict { kSkip, kUse, kRefuse };

// Decides for each name of one listing whether it names an entry of that
// directory. The listing's own "." and ".." (once each) are skipped; a name
// that holds a separator or NUL, is empty, or is a second "." or ".." would
// lead elsewhere and is refused.
template <class Cursor>
class NameGuard {
 public:
  using Name = typename Cursor::Name;

  Verdict Check(const Name& name) {
    if (IsDots(name, 1)) return Once(seenDot_);
    if (IsDots(name, 2)) return Once(seenDotDot_);
    if (name.empty()) return Verdict::kRefuse;
    for (auto c : name) {
      if (c == 0 || Cursor::IsSeparator(c)) return Verdict::kRefuse;
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

inline constexpr size_t kNoParent = SIZE_MAX;

// A directory found by a walk: its own name and where it hangs, never its
// whole path, so the table grows with the tree and not with depth x depth.
template <class Name>
struct DirNode {
  size_t parent;  // index in the table; kNoParent for the root
  size_t depth;   // 0 for the root
  Name name;
};

// What a refused name does to a walk.
enum class OnRefused { kStop, kLeave };

// The one depth-first walk. `at` stands at the root; `dirs` receives the
// root (index 0) and every subdirectory listed, each after its parent. With
// `keepDirs` false a finished directory's children are dropped, so memory
// follows the pending part of the tree only. The visitor is told:
//   Entered(node)        the directory was listed; `at` stands in it
//   Found(node, entry)   one of its entries that is not a directory
//   Leaving(node)        all below it is done; `at` still stands in it
//   Left(name)           `at` went up from it into its parent
//   StopsWhenCutOff()    whether a directory that is too deep or blocked
//                        ends the walk; one that is unreachable never does
// A hook that returns false, a refused name under kStop, or a way back up
// that no longer leads home ends the walk with false, as does a root that
// is blocked.
template <class Cursor, class Visitor>
bool WalkDepthFirst(Cursor& at, std::vector<DirNode<typename Cursor::Name>>& dirs, bool keepDirs,
                    OnRefused onRefused, Visitor& visitor) {
  using Name = typename Cursor::Name;
  struct Frame {
    size_t node;
    size_t firstChild;
    size_t nextChild;
    size_t endChild;
  };
  std::vector<Frame> frames;
  dirs.clear();
  dirs.push_back({kNoParent, 0, Name()});

  // The listed directory `node`: its subdirectories join the table, the rest
  // goes to the visitor, and a frame keeps what is left to enter.
  auto take = [&](size_t node, std::vector<Entry<Name>>& entries) {
    if (!visitor.Entered(node)) return false;
    const size_t first = dirs.size();
    NameGuard<Cursor> guard;
    for (Entry<Name>& entry : entries) {
      const Verdict verdict = guard.Check(entry.name);
      if (verdict == Verdict::kRefuse && onRefused == OnRefused::kStop) return false;
      if (verdict != Verdict::kUse) continue;
      if (entry.kind == Kind::kDirectory) {
        dirs.push_back({node, dirs[node].depth + 1, std::move(entry.name)});
      } else {
        visitor.Found(node, entry);
      }
    }
    frames.push_back({node, first, first, dirs.size()});
    return true;
  };

  auto root = at.List();
  if (!root) return !at.Blocked();  // else nothing there to walk
  if (!take(0, *root)) return false;
  root.reset();
  while (!frames.empty()) {
    Frame& top = frames.back();
    if (top.nextChild < top.endChild) {
      const size_t child = top.nextChild++;
      const Step step = at.Down(dirs[child].name);
      const bool cutOff = step == Step::kTooDeep || step == Step::kBlocked;
      if (cutOff && visitor.StopsWhenCutOff()) return false;
      if (step != Step::kEntered) continue;
      auto listing = at.List();
      if (!listing) {
        if (!at.Up()) return false;
        continue;
      }
      if (!take(child, *listing)) return false;
      continue;
    }
    const Frame done = top;
    frames.pop_back();
    if (!keepDirs) dirs.erase(dirs.begin() + static_cast<ptrdiff_t>(done.firstChild), dirs.end());
    if (frames.empty()) break;  // the root: the caller finishes it
    if (!visitor.Leaving(done.node) || !at.Up()) return false;
    visitor.Left(dirs[done.node].name);
  }
  return true;
}

// Stands in one directory of a copy on both sides and moves to another by
// the shortest way through the table: up to the nearest common directory,
// then down. Visiting directories in the order a depth-first walk found
// them costs at most two steps per directory, whichever of them are
// skipped (a tree's distances add up along that order).
template <class Cursor>
class Navigator {
 public:
  using Name = typename Cursor::Name;

  Navigator(Cursor source, Cursor destination, const std::vector<DirNode<Name>>& dirs)
      : source_(std::move(source)), destination_(std::move(destination)), dirs_(dirs) {}

  // False when a step fails; the navigator is lost from then on.
  bool MoveTo(size_t target) {
    if (lost_) return false;
    if (target == at_) return true;
    size_t from = at_;
    size_t to = target;
    size_t ups = 0;
    path_.clear();
    while (dirs_[from].depth > dirs_[to].depth) from = dirs_[from].parent, ++ups;
    while (dirs_[to].depth > dirs_[from].depth) path_.push_back(to), to = dirs_[to].parent;
    while (from != to) {
      from = dirs_[from].parent, ++ups;
      path_.push_back(to), to = dirs_[to].parent;
    }
    lost_ = true;
    for (; ups > 0; --ups) {
      if (!source_.Up() || !destination_.Up()) return false;
    }
    for (size_t i = path_.size(); i-- > 0;) {
      const Name& name = dirs_[path_[i]].name;
      if (source_.Down(name) != Step::kEntered || destination_.Down(name) != Step::kEntered) return false;
    }
    lost_ = false;
    at_ = target;
    return true;
  }

  const Cursor& source() const { return source_; }
  Cursor& destination() { return destination_; }

 private:
  Cursor source_;
  Cursor destination_;
  const std::vector<DirNode<Name>>& dirs_;
  size_t at_ = 0;
  bool lost_ = false;
  std::vector<size_t> path_;  // the way down, deepest first
};

// A tree copy in two phases: the directories, then the file copies, which
// are independent of each other.
template <class Cursor>
class CopyPlan final : public TreeCopy::Impl {
 public:
  using Name = typename Cursor::Name;

  // `destination` stands nowhere yet: its root is made by MakeDirectories.
  CopyPlan(Cursor source, Cursor destination) : source_(std::move(source)), destination_(std::move(destination)) {}

  // Makes every destination directory whose source can be listed, each
  // after its parent, and lists the entries to copy. Links to directories
  // that the system does not make again are added to `passedOver`. False
  // when a listed name is refused, a directory is too deep for the system,
  // the tree moved under the walk, or descriptors or memory ran out.
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
    try {
      Navigator<Cursor> navigator(source_.Clone(), destination_.Clone(), dirs_);
      return CopyRange(begin, end, navigator, nullptr);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  // Threads take units (below) one at a time from a shared counter, so a
  // thread held up by a large file leaves the rest to the others. Units come
  // in the order of the walk, so each thread's way through the tree stays
  // within two steps per directory.
  bool CopyFilesOnThreads(unsigned threads) const override {
    const size_t units = units_.empty() ? 0 : units_.size() - 1;
    if (units == 0) return true;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    RunOnThreads(static_cast<unsigned>(std::clamp<size_t>(threads, 1, units)), [&] {
      try {
        Navigator<Cursor> navigator(source_.Clone(), destination_.Clone(), dirs_);  // each thread its own
        while (!failed.load(std::memory_order_relaxed)) {
          const size_t unit = next.fetch_add(1, std::memory_order_relaxed);
          if (unit >= units) break;
          if (!CopyRange(units_[unit], units_[unit + 1], navigator, &failed)) {
            failed.store(true, std::memory_order_relaxed);
          }
        }
      } catch (...) {  // memory; nothing else may leave a thread
        failed.store(true, std::memory_order_relaxed);
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

  // Copies [begin, end); false at a failure. Ends early, without failing,
  // once `stop` is set: another thread failed.
  bool CopyRange(size_t begin, size_t end, Navigator<Cursor>& navigator, const std::atomic<bool>* stop) const {
    for (size_t i = begin; i < end && i < jobs_.size(); ++i) {
      if (stop && stop->load(std::memory_order_relaxed)) return true;
      const Job& job = jobs_[i];
      if (!navigator.MoveTo(job.dir)) return false;
      if (!navigator.destination().CopyFrom(navigator.source(), job.name, job.kind)) return false;
    }
    return true;
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
    if constexpr (Cursor::kFoldsCase) {
      std::vector<Name> folded;
      folded.reserve(end - begin);
      for (size_t i = begin; i < end; ++i) folded.push_back(Cursor::Fold(jobs_[i].name));
      std::sort(folded.begin(), folded.end());
      return std::adjacent_find(folded.begin(), folded.end()) != folded.end();
    } else {
      return false;
    }
  }

  // The destination follows the source down and up. Nothing is made for what
  // cannot be listed; a directory that cannot be made shows in the copies
  // below it, and nothing is made below it.
  class Visitor {
   public:
    Visitor(CopyPlan& plan, std::vector<std::string>& passedOver) : plan_(plan), passedOver_(passedOver) {}
    bool Entered(size_t node) {
      if (unmade_ > 0) {
        ++unmade_;
      } else if (node == 0 ? !plan_.destination_.MakeRoot() : !plan_.destination_.MakeDown(plan_.dirs_[node].name)) {
        unmade_ = 1;
      }
      return true;
    }
    void Found(size_t node, Entry<Name>& entry) {
      if constexpr (!Cursor::kMakesDirectoryLinks) {
        if (entry.kind == Kind::kDirectoryLink) {
          passedOver_.push_back(plan_.source_.PathOf(entry.name));
          return;
        }
      }
      plan_.jobs_.push_back({node, std::move(entry.name), entry.kind});
    }
    bool Leaving(size_t) {
      if (unmade_ > 0) {
        --unmade_;
        return true;
      }
      return plan_.destination_.Up();
    }
    void Left(const Name&) {}
    bool StopsWhenCutOff() const { return true; }

   private:
    CopyPlan& plan_;
    std::vector<std::string>& passedOver_;
    size_t unmade_ = 0;  // levels of the walk below a directory that could not be made
  };

  bool Walk(std::vector<std::string>& passedOver) {
    jobs_.clear();
    units_.clear();
    Visitor visitor(*this, passedOver);
    const bool walked = WalkDepthFirst(source_, dirs_, true, OnRefused::kStop, visitor);
    if (walked) SplitIntoUnits();
    return walked;
  }

  Cursor source_;
  Cursor destination_;
  std::vector<DirNode<Name>> dirs_;  // a parent before its children
  std::vector<Job> jobs_;            // in the order their directories were walked
  std::vector<size_t> units_;        // see Units()
};

// Deletes the tree below `at`, root included, as far as it can. Links are
// removed, never entered; a refused name is left alone, and so its
// directory. A root that cannot be listed is left alone.
template <class Cursor>
void DeleteTree(Cursor& at) {
  struct Visitor {
    Cursor& at;
    bool rootListed = false;
    bool Entered(size_t node) {
      if (node == 0) rootListed = true;
      return true;
    }
    void Found(size_t, const Entry<typename Cursor::Name>& entry) { at.Delete(entry); }
    bool Leaving(size_t) { return true; }
    void Left(const typename Cursor::Name& name) { at.RemoveSubdir(name); }
    bool StopsWhenCutOff() const { return false; }
  } visitor{at};
  try {
    std::vector<DirNode<typename Cursor::Name>> dirs;
    // Once the way back up is lost the walk may stand outside the tree:
    // nothing more is removed.
    if (WalkDepthFirst(at, dirs, false, OnRefused::kLeave, visitor) && visitor.rootListed) at.RemoveRoot();
  } catch (const std::bad_alloc&) {
    // What was not reached stays, like anything else that cannot go.
  }
}

// Entries that are neither directories nor links to one; links are never
// entered and refused names not counted. 0 when the root cannot be listed.
template <class Cursor>
int64_t CountFiles(Cursor& at) {
  struct Visitor {
    int64_t files = 0;
    bool Entered(size_t) { return true; }
    void Found(size_t, const Entry<typename Cursor::Name>& entry) {
      if (entry.kind == Kind::kOther) ++files;
    }
    bool Leaving(size_t) { return true; }
    void Left(const typename Cursor::Name&) {}
    bool StopsWhenCutOff() const { return false; }
  } visitor;
  try {
    std::vector<DirNode<typename Cursor::Name>> dirs;
    WalkDepthFirst(at, dirs, false, OnRefused::kLeave, visitor);
  } catch (const std::bad_alloc&) {
  }
  return visitor.files;
}

}  // namespace tree_walk
}  // namespace platform
