#include "tools/unzip/expand.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tools/unzip/path_guard.h"
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

// Names come from the archive: control characters would reach the terminal.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

struct Link {
  EntryPath path;
  std::string target;
};

struct DirMode {
  EntryPath path;
  int mode;
};

class ArchiveExpander {
 public:
  ArchiveExpander(const std::string& archive, DestTree& dest, bool quiet)
      : archive_(archive), dest_(dest), quiet_(quiet), mask_(dest.creationMask()) {}

  int Run() {
    std::string error;
    DataResult opened = reader_.Open(archive_, &error);
    if (opened != DataResult::kOk) {
      Report("", error, StatusOf(opened));
      return status_;
    }
    if (!quiet_) std::printf("Archive:  %s\n", Printable(archive_).c_str());
    for (const ZipEntry& entry : reader_.entries()) ExpandEntry(entry);
    // Links last, so that no entry of this archive is written through one.
    for (const Link& link : links_) {
      if (!quiet_) {
        std::printf("    linking: %s -> %s\n", Printable(dest_.DisplayPath(link.path.parts)).c_str(),
                    Printable(link.target).c_str());
      }
      if (!dest_.MakeLink(link.path.parts, link.target, &error)) {
        Report(Joined(link.path), "cannot create link: " + error, kExitIo);
      }
    }
    // Deepest first, and after the files, so a read-only directory is filled
    // before it becomes read-only.
    std::stable_sort(dirModes_.begin(), dirModes_.end(), [](const DirMode& a, const DirMode& b) {
      return a.path.parts.size() > b.path.parts.size();
    });
    for (const DirMode& dir : dirModes_) {
      if (!dest_.SetDirMode(dir.path.parts, dir.mode, &error)) {
        Report(Joined(dir.path), "cannot set permissions: " + error, kExitIo);
      }
    }
    std::fflush(stdout);
    return status_;
  }

 private:
  static std::string Joined(const EntryPath& path) {
    std::string joined;
    for (const std::string& part : path.parts) joined += (joined.empty() ? "" : "/") + part;
    return joined;
  }

  void Report(const std::string& entry, const std::string& problem, int status) {
    std::fflush(stdout);
    if (entry.empty()) {
      std::fprintf(stderr, "unzip: %s: %s\n", Printable(archive_).c_str(), problem.c_str());
    } else {
      std::fprintf(stderr, "unzip: %s: %s: %s\n", Printable(archive_).c_str(),
                   Printable(entry).c_str(), problem.c_str());
    }
    status_ = std::max(status_, status);
  }

  static int StatusOf(DataResult result) {
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
  static unsigned UnixMode(const ZipEntry& entry) {
    return entry.hostSystem == kUnixHost ? entry.externalAttributes >> 16 : 0;
  }

  // Why the entry's name may not be expanded, or "" with its path below the
  // destination (no components for the destination itself).
  static std::string NameProblem(const ZipEntry& entry, const std::string& name, EntryPath* path) {
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

  void ExpandEntry(const ZipEntry& entry) {
    std::string name = DecodeEntryName(entry.name, entry.utf8);
    if (entry.overlaps) {
      Report(name, "damaged archive (entry overlaps another entry)", kExitDamaged);
      return;
    }
    EntryPath path;
    std::string why = NameProblem(entry, name, &path);
    if (!why.empty()) {
      Report(name, "refused: " + why, kExitIncomplete);
      return;
    }
    if (path.parts.empty()) return;  // the destination itself
    unsigned mode = UnixFileModes() ? UnixMode(entry) : 0;
    if (path.isDir) {
      ExpandDirectory(name, path, mode);
    } else if ((mode & kTypeMask) == kTypeLink) {
      ExpandLink(entry, name, std::move(path));
    } else {
      ExpandFile(entry, name, path, mode != 0 ? static_cast<int>(RestoredFileMode(mode, mask_)) : -1);
    }
  }

  void ExpandDirectory(const std::string& name, const EntryPath& path, unsigned mode) {
    if (!quiet_) {
      std::printf("   creating: %s%c\n", Printable(dest_.DisplayPath(path.parts)).c_str(),
                  NativeSeparator());
    }
    std::string error;
    // Made with its final mode when it is new; the mode is set again once
    // the archive is in, as for a directory that was there before.
    const int restored = mode != 0 ? static_cast<int>(RestoredDirMode(mode, mask_)) : -1;
    if (!dest_.Dir(path.parts, path.parts.size(), restored, &error)) {
      Report(name, "cannot create directory: " + error, kExitIo);
    } else if (mode != 0) {
      dirModes_.push_back({path, restored});
    }
  }

  void ExpandLink(const ZipEntry& entry, const std::string& name, EntryPath path) {
    std::string target, error, why;
    if (entry.size > kMaxLinkTarget) {
      Report(name, "refused: link target too long", kExitIncomplete);
      return;
    }
    DataResult result = reader_.ReadEntry(
        entry, [&](const char* data, size_t length) { target.append(data, length); return true; },
        &error);
    if (result != DataResult::kOk) {
      Report(name, error, StatusOf(result));
      return;
    }
    if (!LinkStaysInside(path.parts, target, &why)) {
      Report(name, "refused: " + why, kExitIncomplete);
      return;
    }
    links_.push_back({std::move(path), std::move(target)});
  }

  void ExpandFile(const ZipEntry& entry, const std::string& name, const EntryPath& path, int mode) {
    std::string error;
    if (!quiet_) {
      std::printf("%s %s\n", entry.method == 0 ? " extracting:" : "  inflating:",
                  Printable(dest_.DisplayPath(path.parts)).c_str());
    }
    DataResult result;
    DestDirRef dir = dest_.Dir(path.parts, path.parts.size() - 1, -1, &error);
    {
      OutputFile out;
      if (!dir || !DestTree::NewFile(*dir, path.parts.back(), mode, &out, &error)) {
        Report(name, "cannot create file: " + error, kExitIo);
        return;
      }
      std::string writeError;
      result = reader_.ReadEntry(
          entry, [&](const char* data, size_t length) { return out.Write(data, length, &writeError); },
          &error);
      if (result == DataResult::kSinkError) error = "cannot write: " + writeError;
      if (result == DataResult::kOk && !out.Close(&error)) {
        error = "cannot write: " + error;
        result = DataResult::kSinkError;
      }
    }
    if (result != DataResult::kOk) {
      // A partial or damaged file is not left looking like a good one.
      DestTree::RemoveFile(*dir, path.parts.back());
      Report(name, error, StatusOf(result));
    }
  }

  const std::string& archive_;
  DestTree& dest_;
  bool quiet_;
  unsigned mask_;
  ZipReader reader_;
  std::vector<Link> links_;
  std::vector<DirMode> dirModes_;
  int status_ = kExitOk;
};

}  // namespace

unsigned RestoredFileMode(unsigned stored, unsigned mask) {
  return (stored & kPermissionMask & ~mask) | kOwnerWrite;
}

unsigned RestoredDirMode(unsigned stored, unsigned mask) {
  return (stored & (kPermissionMask | kStickyBit) & ~mask) | kOwnerAll;
}

int ExpandArchive(const std::string& path, DestTree& dest, bool quiet) {
  return ArchiveExpander(path, dest, quiet).Run();
}

}  // namespace unzip
