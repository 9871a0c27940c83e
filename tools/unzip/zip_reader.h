// Reading a zip archive: its central directory (zip64 records included),
// and each entry's data streamed through a sink with its size and CRC-32
// checked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/unzip/os_layer.h"

namespace unzip {

class WholeInflater;

// The archive bytes a reader holds at once; neighbouring entries within this
// span come from one read.
inline constexpr size_t kReadWindow = 256 << 10;

struct ZipEntry {
  std::string name;  // the stored bytes
  bool utf8 = false;
  bool encrypted = false;
  uint16_t method = 0;
  uint8_t hostSystem = 0;  // high byte of "version made by"; 3 is Unix
  uint32_t crc = 0;
  uint32_t externalAttributes = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;
  // Set by MarkOverlaps: where the next entry's local header (or the central
  // directory) begins, and whether this entry overlaps another.
  uint64_t roomEnd = 0;
  bool overlaps = false;
};

// Marks every entry whose local header and data overlap another entry's, or
// the central directory at `directoryStart`, taking each at its smallest (a
// local header without name or extra field), and sets each entry's roomEnd.
// Entries that pass own disjoint ranges as long as their data also ends
// within their room, which ReadEntry checks once it knows the local header.
// O(n log n).
void MarkOverlaps(std::vector<ZipEntry>* entries, uint64_t directoryStart);

enum class DataResult {
  kOk,
  kUnsupported,  // method, encryption, several disks
  kCorrupt,      // bad headers, bad compressed data, size or CRC mismatch, truncated
  kReadError,    // the archive could not be read
  kSinkError,    // the sink refused the data (it keeps its own reason)
};

// Receives an entry's data in order, in chunks; false stops the reading.
using DataSink = std::function<bool(const char* data, size_t length)>;

// An archive and its central directory. Read-only once open, so that several
// threads can read its entries at once, each with its own EntryReader.
class ZipArchive {
 public:
  ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Opens the archive and reads its central directory: kReadError when it
  // cannot be read, kCorrupt when it is no zip archive or is truncated or
  // damaged, kUnsupported when it spans several disks. Overlapping entries
  // are marked (MarkOverlaps), not refused here.
  DataResult Open(const std::string& path, std::string* error);
  const std::vector<ZipEntry>& entries() const { return entries_; }
  const ArchiveFile& file() const { return file_; }
  // Tells archives apart for the lifetime of the process.
  uint64_t serial() const { return serial_; }

 private:
  ArchiveFile file_;
  std::vector<ZipEntry> entries_;
  uint64_t serial_;
};

// Reads entries' data; one per thread. Keeps a window of archive bytes, so
// that neighbouring entries come from one read.
class EntryReader {
 public:
  EntryReader();
  ~EntryReader();
  EntryReader(const EntryReader&) = delete;
  EntryReader& operator=(const EntryReader&) = delete;

  // Reads the bytes [start, end) of the archive in one go when they fit the
  // window; failures are left for ReadEntry to find.
  void Prefetch(const ZipArchive& archive, uint64_t start, uint64_t end);
  // Streams the entry's uncompressed data to `sink`; kCorrupt for an entry
  // that overlaps another or whose data runs beyond its room;
  // kUnsupported for an encrypted entry or an unknown method.
  DataResult ReadEntry(const ZipArchive& archive, const ZipEntry& entry, const DataSink& sink,
                       std::string* error);

 private:
  // The bytes [offset, offset + length) of the archive, length at most
  // kWindowSize; nullptr (with the reason) when they cannot all be read.
  const unsigned char* Fetch(const ZipArchive& archive, uint64_t offset, size_t length,
                             DataResult* result, std::string* error);
  // Where the entry's data begins, from its local header; kCorrupt when the
  // header is missing or the data runs beyond the archive or its room.
  DataResult LocateData(const ZipArchive& archive, const ZipEntry& entry, uint64_t* dataOffset,
                        std::string* error);
  // The entry's data from `dataOffset` on, stored or deflated, to `sink`;
  // *crc accumulates the CRC-32 of what was passed on.
  DataResult CopyStored(const ZipArchive& archive, const ZipEntry& entry, uint64_t dataOffset,
                        const DataSink& sink, uint32_t* crc, std::string* error);
  DataResult InflateWhole(const ZipArchive& archive, const ZipEntry& entry, uint64_t dataOffset,
                          const DataSink& sink, uint32_t* crc, std::string* error);
  DataResult InflateStream(const ZipArchive& archive, const ZipEntry& entry, uint64_t dataOffset,
                           const DataSink& sink, uint32_t* crc, std::string* error);

  std::vector<unsigned char> window_;
  uint64_t windowArchive_ = 0;  // serial of the archive the window holds
  uint64_t windowOffset_ = 0;
  size_t windowLength_ = 0;
  std::vector<unsigned char> output_;
  std::unique_ptr<WholeInflater> whole_;
  struct Stream;
  std::unique_ptr<Stream> stream_;
};

}  // namespace unzip
