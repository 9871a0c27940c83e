// Reading a zip archive: its central directory, and each entry's data
// streamed through a sink with its size and CRC-32 checked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/unzip/os_layer.h"

namespace unzip {

struct ZipEntry {
  std::string name;  // the stored bytes
  bool utf8 = false;
  bool encrypted = false;
  bool zip64 = false;  // a size or offset lives in a zip64 field
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
// local header without name or extra field; a zip64 entry, whose sizes are
// unknown here, as its header alone), and sets each entry's roomEnd. Entries
// that pass own disjoint ranges as long as their data also ends within their
// room, which ReadEntry checks once it knows the local header. O(n log n).
void MarkOverlaps(std::vector<ZipEntry>* entries, uint64_t directoryStart);

enum class DataResult {
  kOk,
  kUnsupported,  // method, encryption, zip64
  kCorrupt,      // bad headers, bad compressed data, size or CRC mismatch, truncated
  kReadError,    // the archive could not be read
  kSinkError,    // the sink refused the data (it keeps its own reason)
};

// Receives an entry's data in order, in chunks; false stops the reading.
using DataSink = std::function<bool(const char* data, size_t length)>;

class ZipReader {
 public:
  ZipReader();
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // Opens the archive and reads its central directory: kReadError when it
  // cannot be read, kCorrupt when it is no zip archive or is truncated or
  // damaged, kUnsupported when it needs zip64 or several disks. Overlapping
  // entries are marked (MarkOverlaps), not refused here.
  DataResult Open(const std::string& path, std::string* error);
  const std::vector<ZipEntry>& entries() const { return entries_; }
  // Streams the entry's uncompressed data to `sink`; kCorrupt for an entry
  // that overlaps another or whose data runs beyond its room.
  DataResult ReadEntry(const ZipEntry& entry, const DataSink& sink, std::string* error);

 private:
  // The bytes [offset, offset + length) of the archive, length at most
  // kWindowSize; nullptr (with the reason) when they cannot all be read.
  const unsigned char* Fetch(uint64_t offset, size_t length, DataResult* result,
                             std::string* error);
  // Where the entry's data begins, from its local header; kCorrupt when the
  // header is missing or the data runs beyond the archive or its room.
  DataResult LocateData(const ZipEntry& entry, uint64_t* dataOffset, std::string* error);
  // The entry's data from `dataOffset` on, stored or deflated, to `sink`;
  // *crc accumulates the CRC-32 of what was passed on.
  DataResult CopyStored(const ZipEntry& entry, uint64_t dataOffset, const DataSink& sink,
                        uint32_t* crc, std::string* error);
  DataResult Inflate(const ZipEntry& entry, uint64_t dataOffset, const DataSink& sink,
                     uint32_t* crc, std::string* error);

  ArchiveFile file_;
  std::vector<ZipEntry> entries_;
  std::vector<unsigned char> window_;
  uint64_t windowOffset_ = 0;
  size_t windowLength_ = 0;
  std::vector<char> output_;
  struct Inflater;
  std::unique_ptr<Inflater> inflater_;
};

}  // namespace unzip
