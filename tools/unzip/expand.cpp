#include "tools/unzip/expand.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/unzip/path_guard.h"
#include "tools/unzip/pipeline.h"
#include "tools/unzip/zip_reader.h"

namespace unzip {

namespace {

constexpr uint8_t kUnixHost = 3;
constexpr unsigned kTypeMask = 0170000;
constexpr unsigned kTypeLink = 0120000;
constexpr unsigned kPermissionMask = 0777;
constexpr unsigned kStickyBit = 01000;
constexpr unsigned kOwnerWrite = 0200;
constexpr unsigned kOwnerAll = 0700;
constexpr size_t kMaxLinkTarget = 4096;
// File entries handed to a thread at once: a reader's window of archive
// bytes holds them all, so that they come from one read.
constexpr size_t kBatchEntries = 64;
// Names of unfinished files remembered at most before the finished ones are
// forgotten.
constexpr size_t kPendingPrune = 16384;
// An entry name longer than this is shown by its beginning and its end.
constexpr size_t kShownNameBytes = 240;
constexpr size_t kShownHeadBytes = 160;
constexpr size_t kShownTailBytes = 60;

// Names come from the archive: control characters would reach the terminal.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

std::string Joined(const EntryPath& path) {
  std::string joined;
  for (const std::string& part : path.parts) joined += (joined.empty() ? "" : "/") + part;
  return joined;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// An entry name as a message shows it: a name too long to read whole keeps
// its beginning and its end, cut between characters, and tells its length.
std::string ShownName(const std::string& name) {
  if (name.size() <= kShownNameBytes) return name;
  size_t head = kShownHeadBytes, tail = name.size() - kShownTailBytes;
  while (head > 0 && IsContinuation(name[head])) --head;
  while (tail < name.size() && IsContinuation(name[tail])) ++tail;
  return name.substr(0, head) + "..." + name.substr(tail) + " (" + std::to_string(name.size()) +
         " bytes)";
}

// The message line for a failure, of the archive or of one of its entries.
std::string Problem(const std::string& archive, const std::string& entry, const std::string& problem) {
  if (entry.empty()) return "unzip: " + Printable(archive) + ": " + problem + "\n";
  return "unzip: " + Printable(archive) + ": " + Printable(ShownName(entry)) + ": " + problem + "\n";
}

// The key of a component as the system compares names, folded into the key
// of the path above it: a path costs its length once. Two paths may share a
// key; then one waits for the other, which costs time only.
uint64_t KeyBelow(uint64_t above, const std::string& componentKey) {
  uint64_t key = (above ^ std::hash<std::string_view>()(componentKey)) * 0x9E3779B97F4A7C15ull;
  return key ^ (key >> 29);
}

int StatusOf(DataResult result) {
  switch (result) {
    case DataResult::kOk: return kExitOk;
    case DataResult::kUnsupported: return kExitIncomplete;
    case DataResult::kCorrupt: return kExitDamaged;
    case DataResult::kReadError:
    case DataResult::kSinkError: return kExitIo;
  }
  return kExitIo;
}

// The Unix mode bits stored with the entry, or 0 when there are none.
unsigned UnixMode(const ZipEntry& entry) {
  return entry.hostSystem == kUnixHost ? entry.externalAttributes >> 16 : 0;
}

// Why the entry's name may not be expanded, or "" with its path below the
// destination (no components for the destination itself).
std::string NameProblem(const ZipEntry& entry, const std::string& name, EntryPath* path) {
  std::string why;
  if (!SplitEntryName(name, WindowsNameRules(), path, &why)) return why;
  for (const std::string& part : path->parts) {
    why = SystemNameProblem(part);
    if (!why.empty()) return why;
  }
  // Only a directory entry without data may name the destination itself.
  if (path->parts.empty() && (!path->isDir || entry.size > 0)) {
    return "a file entry whose name names no file";
  }
  return "";
}

// An archive being expanded, kept by the jobs that write its entries.
struct Archive {
  std::string path;
  ZipArchive zip;
};

// A file entry as a job writes it.
struct FileItem {
  const ZipEntry* entry = nullptr;
  std::string name;  // as decoded, for messages
  std::string leaf;  // the last component
  DestDirRef dir;
  int mode = -1;
  std::string listing;  // its line on standard output, if any
};

// Neighbouring file entries of one archive and the archive bytes they lie in.
struct Batch {
  std::shared_ptr<Archive> archive;
  std::vector<FileItem> items;
  std::vector<uint64_t> steps;
  uint64_t start = 0, end = 0;
};

struct DirMode {
  EntryPath path;
  int mode;
};

// Writes one file; runs on any thread. The outcome tells what went wrong.
void WriteFile(EntryReader& reader, const Archive& archive, const FileItem& item, Outcome* outcome) {
  std::string error;
  DataResult result;
  {
    OutputFile out;
    if (!DestTree::NewFile(*item.dir, item.leaf, item.mode, &out, &error)) {
      outcome->err = Problem(archive.path, item.name, "cannot create file: " + error);
      outcome->status = kExitIo;
      return;
    }
    std::string writeError;
    result = reader.ReadEntry(
        archive.zip, *item.entry,
        [&](const char* data, size_t length) { return out.Write(data, length, &writeError); }, &error);
    if (result == DataResult::kSinkError) error = "cannot write: " + writeError;
    if (result == DataResult::kOk && !out.Close(&error)) {
      error = "cannot write: " + error;
      result = DataResult::kSinkError;
    }
  }
  if (result != DataResult::kOk) {
    // A partial or damaged file is not left looking like a good one.
    DestTree::RemoveFile(*item.dir, item.leaf);
    outcome->err = Problem(archive.path, item.name, error);
    outcome->status = StatusOf(result);
  }
}

void RunBatch(EntryReader& reader, const Batch& batch, std::vector<Outcome>* outcomes) {
  reader.Prefetch(batch.archive->zip, batch.start, batch.end);
  for (size_t i = 0; i < batch.items.size(); ++i) {
    Outcome& outcome = (*outcomes)[i];
    outcome.out = batch.items[i].listing;
    try {
      WriteFile(reader, *batch.archive, batch.items[i], &outcome);
    } catch (const std::bad_alloc&) {
      outcome.err = Problem(batch.archive->path, batch.items[i].name, "out of memory");
      outcome.status = kExitIo;
    }
  }
}

// The run: the calling thread reads each archive's directory, checks every
// entry and makes the directories and links in entry order; the writing of
// files goes to the pipeline's threads. What is made at a path waits for
// every unfinished file at that path or above it, so that it finds the tree
// a single thread would have left there.
class Expansion {
 public:
  Expansion(DestTree& dest, bool quiet, unsigned threads)
      : dest_(dest),
        quiet_(quiet),
        mask_(dest.creationMask()),
        readers_(MakeReaders(std::max(threads, 1u))),
        pipeline_(threads, [this](Outcome& outcome) { Take(outcome); }) {
    pending_.reserve(2 * kPendingPrune);
    // When the open directories reach their bound, those held by queued
    // files go with the files.
    dest_.SetDrain([this] {
      Flush();
      pipeline_.WaitForAll();
    });
  }

  ~Expansion() { dest_.SetDrain(nullptr); }

  int Run(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) ExpandOne(path);
    pipeline_.WaitForAll();
    std::fflush(stdout);
    return status_;
  }

 private:
  static std::vector<std::unique_ptr<EntryReader>> MakeReaders(unsigned count) {
    std::vector<std::unique_ptr<EntryReader>> readers;
    for (unsigned i = 0; i < count; ++i) readers.push_back(std::make_unique<EntryReader>());
    return readers;
  }

  void Take(Outcome& outcome) {
    if (!outcome.out.empty()) WriteStd(StdStream::kOutput, outcome.out);
    if (!outcome.err.empty()) {
      std::fflush(stdout);
      WriteStd(StdStream::kError, outcome.err);
    }
    status_ = std::max(status_, outcome.status);
  }

  void Tell(Outcome outcome) {
    if (!outcome.empty()) pipeline_.Record(std::move(outcome));
  }

  // A listing line and nothing else.
  void TellListing(std::string listing) {
    if (!listing.empty()) pipeline_.Record({std::move(listing), "", kExitOk});
  }

  void TellProblem(const std::string& entry, const std::string& problem, int status, std::string out = "") {
    Tell({std::move(out), Problem(archive_->path, entry, problem), status});
  }

  void ExpandOne(const std::string& path) {
    archive_ = std::make_shared<Archive>();
    archive_->path = path;
    std::string error;
    DataResult opened = archive_->zip.Open(path, &error);
    if (opened != DataResult::kOk) {
      TellProblem("", error, StatusOf(opened));
      archive_.reset();
      return;
    }
    if (!quiet_) TellListing("Archive:  " + Printable(path) + "\n");
    for (const ZipEntry& entry : archive_->zip.entries()) ExpandEntry(entry);
    Flush();
    // Deepest first, and after the files, so a read-only directory is filled
    // before it becomes read-only.
    std::stable_sort(dirModes_.begin(), dirModes_.end(), [](const DirMode& a, const DirMode& b) {
      return a.path.parts.size() > b.path.parts.size();
    });
    for (const DirMode& dir : dirModes_) {
      WaitForPath(dir.path.parts, dir.path.parts.size());
      if (!dest_.SetDirMode(dir.path.parts, dir.mode, &error)) {
        TellProblem(Joined(dir.path), "cannot set permissions: " + error, kExitIo);
      }
    }
    dirModes_.clear();
    archive_.reset();
  }

  void ExpandEntry(const ZipEntry& entry) {
    std::string name = DecodeEntryName(entry.name, entry.utf8);
    if (entry.overlaps) {
      TellProblem(name, "damaged archive (entry overlaps another entry)", kExitDamaged);
      return;
    }
    EntryPath path;
    std::string why = NameProblem(entry, name, &path);
    if (!why.empty()) {
      TellProblem(name, "refused: " + why, kExitIncomplete);
      return;
    }
    if (path.parts.empty()) return;  // the destination itself
    unsigned mode = UnixFileModes() ? UnixMode(entry) : 0;
    if (path.isDir) {
      ExpandDirectory(name, path, mode);
    } else if ((mode & kTypeMask) == kTypeLink) {
      ExpandLink(entry, name, path);
    } else {
      ExpandFile(entry, name, path, mode != 0 ? static_cast<int>(RestoredFileMode(mode, mask_)) : -1);
    }
  }

  void ExpandDirectory(const std::string& name, const EntryPath& path, unsigned mode) {
    std::string listing;
    if (!quiet_) listing = "   creating: " + Printable(dest_.DisplayPath(path.parts)) + NativeSeparator() + "\n";
    WaitForPath(path.parts, path.parts.size());
    std::string error;
    // Made with its final mode when it is new; the mode is set again once
    // the archive is in, as for a directory that was there before.
    const int restored = mode != 0 ? static_cast<int>(RestoredDirMode(mode, mask_)) : -1;
    if (!dest_.Dir(path.parts, path.parts.size(), restored, &error)) {
      TellProblem(name, "cannot create directory: " + error, kExitIo, std::move(listing));
      return;
    }
    if (mode != 0) dirModes_.push_back({path, restored});
    TellListing(std::move(listing));
  }

  // A link is made in its place among the entries, like a file, so that a
  // later entry of that name replaces it and it replaces an earlier one.
  // Nothing is written through it: every later walk opens directories
  // without following links, and a file replaces a link rather than opening
  // it.
  void ExpandLink(const ZipEntry& entry, const std::string& name, const EntryPath& path) {
    std::string target, error, why;
    if (entry.size > kMaxLinkTarget) {
      TellProblem(name, "refused: link target too long", kExitIncomplete);
      return;
    }
    DataResult result = readers_[0]->ReadEntry(
        archive_->zip, entry,
        [&](const char* data, size_t length) { target.append(data, length); return true; }, &error);
    if (result != DataResult::kOk) {
      TellProblem(name, error, StatusOf(result));
      return;
    }
    if (!LinkStaysInside(path.parts, target, &why)) {
      TellProblem(name, "refused: " + why, kExitIncomplete);
      return;
    }
    std::string listing;
    if (!quiet_) {
      listing = "    linking: " + Printable(dest_.DisplayPath(path.parts)) + " -> " + Printable(target) + "\n";
    }
    WaitForPath(path.parts, path.parts.size());
    if (!dest_.MakeLink(path.parts, target, &error)) {
      TellProblem(name, "cannot create link: " + error, kExitIo, std::move(listing));
    } else {
      TellListing(std::move(listing));
    }
  }

  void ExpandFile(const ZipEntry& entry, const std::string& name, const EntryPath& path, int mode) {
    std::string listing;
    if (!quiet_) {
      listing = std::string(entry.method == 0 ? " extracting: " : "  inflating: ") +
                Printable(dest_.DisplayPath(path.parts)) + "\n";
    }
    const std::optional<uint64_t> key = WaitForPath(path.parts, path.parts.size());
    std::string error;
    DestDirRef dir = dest_.Dir(path.parts, path.parts.size() - 1, -1, &error);
    if (!dir) {
      TellProblem(name, "cannot create file: " + error, kExitIo, std::move(listing));
      return;
    }
    // The archive bytes from its local header up to the next one.
    const uint64_t start = entry.localOffset, end = std::max(entry.roomEnd, entry.localOffset);
    if (!batch_.items.empty() &&
        (batch_.items.size() >= kBatchEntries ||
         std::max(batch_.end, end) - std::min(batch_.start, start) > kReadWindow)) {
      Flush();
    }
    const uint64_t step = pipeline_.Reserve();
    if (!key) {
      barrier_ = step;
      haveBarrier_ = true;
    } else {
      pending_[*key] = step;
    }
    if (batch_.items.empty()) {
      batch_.archive = archive_;
      batch_.start = start;
      batch_.end = end;
    }
    batch_.start = std::min(batch_.start, start);
    batch_.end = std::max(batch_.end, end);
    batch_.items.push_back({&entry, name, path.parts.back(), std::move(dir), mode, std::move(listing)});
    batch_.steps.push_back(step);
  }

  // Hands the batch to the pipeline.
  void Flush() {
    if (batch_.items.empty()) return;
    std::vector<uint64_t> steps = std::move(batch_.steps);
    auto batch = std::make_shared<Batch>(std::move(batch_));
    batch_ = Batch();
    pipeline_.Submit(std::move(steps), [this, batch](unsigned thread, std::vector<Outcome>* outcomes) {
      RunBatch(*readers_[thread], *batch, outcomes);
    });
    if (pending_.size() > kPendingPrune) {
      for (auto it = pending_.begin(); it != pending_.end();) {
        it = it->second < pipeline_.taken() ? pending_.erase(it) : std::next(it);
      }
    }
  }

  // Waits until no unfinished file lies at the first `count` components or
  // above them. Returns the key of that path, none when its names may alias
  // others (then every unfinished file is waited for).
  std::optional<uint64_t> WaitForPath(const std::vector<std::string>& parts, size_t count) {
    bool wait = false;
    uint64_t upTo = 0;
    auto consider = [&](uint64_t step) {
      if (step >= pipeline_.taken()) {
        wait = true;
        upTo = std::max(upTo, step);
      }
    };
    if (haveBarrier_) consider(barrier_);
    uint64_t key = 0;
    for (size_t i = 0; i < count; ++i) {
      std::string part = NameKey(parts[i]);
      if (part.empty()) {
        Flush();
        pipeline_.WaitForAll();
        return std::nullopt;
      }
      key = KeyBelow(key, part);
      auto it = pending_.find(key);
      if (it != pending_.end()) consider(it->second);
    }
    if (wait) {
      Flush();
      pipeline_.WaitFor(upTo);
    }
    return key;
  }

  DestTree& dest_;
  const bool quiet_;
  const unsigned mask_;
  // One per thread, the calling thread's first; declared before the
  // pipeline, whose threads use them until it ends.
  std::vector<std::unique_ptr<EntryReader>> readers_;
  int status_ = kExitOk;
  std::shared_ptr<Archive> archive_;
  std::vector<DirMode> dirModes_;
  Batch batch_;
  // The last step of the unfinished file at each path (keyed by KeyBelow
  // over its components' NameKey), and of the last file whose path had none.
  std::unordered_map<uint64_t, uint64_t> pending_;
  uint64_t barrier_ = 0;
  bool haveBarrier_ = false;
  Pipeline pipeline_;
};

}  // namespace

unsigned RestoredFileMode(unsigned stored, unsigned mask) {
  return (stored & kPermissionMask & ~mask) | kOwnerWrite;
}

unsigned RestoredDirMode(unsigned stored, unsigned mask) {
  return (stored & (kPermissionMask | kStickyBit) & ~mask) | kOwnerAll;
}

int ExpandArchives(const std::vector<std::string>& paths, DestTree& dest, bool quiet, unsigned threads) {
  return Expansion(dest, quiet, threads).Run(paths);
}

}  // namespace unzip
