// Expanding archives into the destination tree.
#pragma once

#include <string>
#include <vector>

#include "tools/unzip/os_layer.h"

namespace unzip {

// Exit statuses; a run ends with the highest it met.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIncomplete = 1;  // entries refused or not supported
inline constexpr int kExitDamaged = 2;     // damaged or truncated archive, CRC mismatch
inline constexpr int kExitIo = 3;          // an archive could not be read, or the tree written
inline constexpr int kExitNoArchive = 9;   // nothing matched the archive argument
inline constexpr int kExitUsage = 10;      // bad command line

// The permission bits given to what an archive stores with Unix modes (the
// Linux build), from the stored mode and the process's creation mask. The
// mask applies as it does to any new file; set-id bits are never restored.
// A file keeps owner write, so that it can be replaced and removed like the
// files the launcher copies. A directory keeps full owner access, or later
// archives could not fill it nor the launcher remove it, and keeps its
// sticky bit, which only narrows who may delete in it.
unsigned RestoredFileMode(unsigned stored, unsigned mask);
unsigned RestoredDirMode(unsigned stored, unsigned mask);

// Expands every entry it can of the archives at `paths`, one archive after
// the other, into `dest`, telling each failure on standard error (and,
// unless `quiet`, each entry on standard output). `threads` threads share
// the work (the calling one included); the tree, the messages and their
// order are those of one thread. Returns kExitOk when all entries came out
// complete.
int ExpandArchives(const std::vector<std::string>& paths, DestTree& dest, bool quiet, unsigned threads);

}  // namespace unzip
