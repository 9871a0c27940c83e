#include "tools/unzip/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace unzip {

namespace {

constexpr size_t kWindowSize = 1 << 20;
constexpr size_t kOutputSize = 1 << 20;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kZip64LocatorSize = 20;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint16_t kFlagEncrypted = 1 << 0;
constexpr uint16_t kFlagUtf8 = 1 << 11;
constexpr const char* kOverlapError = "damaged archive (entry overlaps another entry)";

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool ReadExactly(ArchiveFile& file, uint64_t offset, std::vector<unsigned char>* out, size_t length,
                 std::string* error) {
  out->resize(length);
  size_t got = 0;
  if (!file.ReadAt(offset, out->data(), length, &got, error)) return false;
  if (got != length) {
    *error = "the archive is shorter than its directory says";
    return false;
  }
  return true;
}


// The fields of the end-of-central-directory record that the reader uses.
struct EndRecord {
  uint64_t offset = 0;  // where the record starts in the archive
  uint16_t disk = 0, directoryDisk = 0;
  uint16_t entriesHere = 0, entriesTotal = 0;
  uint32_t directorySize = 0, directoryOffset = 0;
};

// Where the central directory lies in the archive as it is.
struct DirectoryPlace {
  uint64_t start = 0;
  uint32_t size = 0;
  uint16_t entries = 0;  // the end record's count: the low 16 bits of the real one
  uint64_t shift = 0;    // bytes prepended to the archive (a stub, a header)
};

// Finds the end record in the last 22 bytes plus at most a 64 KiB comment,
// and refuses a zip64 archive by its locator just before it.
DataResult FindEndRecord(ArchiveFile& file, EndRecord* record, std::string* error) {
  const uint64_t size = file.size();
  if (size < kEndRecordSize) {
    *error = "not a zip archive (too short)";
    return DataResult::kCorrupt;
  }
  size_t tailLength = static_cast<size_t>(std::min<uint64_t>(size, kEndRecordSize + kMaxCommentSize));
  uint64_t tailOffset = size - tailLength;
  std::vector<unsigned char> tail;
  std::string reason;
  if (!ReadExactly(file, tailOffset, &tail, tailLength, &reason)) {
    *error = "cannot read: " + reason;
    return DataResult::kReadError;
  }
  size_t at = tailLength - kEndRecordSize + 1;
  const unsigned char* end = nullptr;
  while (at-- > 0) {
    const unsigned char* p = tail.data() + at;
    if (Get32(p) == kEndSignature && at + kEndRecordSize + Get16(p + 20) <= tailLength) {
      end = p;
      break;
    }
  }
  if (!end) {
    *error = "not a zip archive, or truncated (no end of central directory)";
    return DataResult::kCorrupt;
  }
  record->offset = tailOffset + at;
  if (record->offset >= kZip64LocatorSize) {
    std::vector<unsigned char> locator;
    if (ReadExactly(file, record->offset - kZip64LocatorSize, &locator, 4, &reason) &&
        Get32(locator.data()) == kZip64LocatorSignature) {
      *error = "zip64 archives are not supported";
      return DataResult::kUnsupported;
    }
  }
  record->disk = Get16(end + 4);
  record->directoryDisk = Get16(end + 6);
  record->entriesHere = Get16(end + 8);
  record->entriesTotal = Get16(end + 10);
  record->directorySize = Get32(end + 12);
  record->directoryOffset = Get32(end + 16);
  return DataResult::kOk;
}

// Checks what the end record says about the central directory against the
// archive as it is.
DataResult LocateDirectory(const EndRecord& end, DirectoryPlace* place, std::string* error) {
  if (end.disk != 0 || end.directoryDisk != 0 || end.entriesHere != end.entriesTotal) {
    *error = "archives split over several disks are not supported";
    return DataResult::kUnsupported;
  }
  if (end.directorySize == kZip64Marker || end.directoryOffset == kZip64Marker) {
    *error = "zip64 archives are not supported";
    return DataResult::kUnsupported;
  }
  if (end.directorySize > end.offset) {
    *error = "damaged archive (central directory larger than the archive)";
    return DataResult::kCorrupt;
  }
  // Data prepended to the archive shifts every offset.
  place->start = end.offset - end.directorySize;
  if (place->start < end.directoryOffset) {
    *error = "truncated or damaged archive (central directory is not where it should be)";
    return DataResult::kCorrupt;
  }
  place->size = end.directorySize;
  place->entries = end.entriesTotal;
  place->shift = place->start - end.directoryOffset;
  return DataResult::kOk;
}

// One central directory header; `p` holds at least kCentralHeaderSize bytes
// and the name.
ZipEntry ParseCentralHeader(const unsigned char* p, uint64_t shift) {
  ZipEntry entry;
  uint16_t flags = Get16(p + 8);
  entry.hostSystem = p[5];
  entry.utf8 = flags & kFlagUtf8;
  entry.encrypted = flags & kFlagEncrypted;
  entry.method = Get16(p + 10);
  entry.crc = Get32(p + 16);
  entry.compressedSize = Get32(p + 20);
  entry.size = Get32(p + 24);
  entry.externalAttributes = Get32(p + 38);
  entry.localOffset = Get32(p + 42);
  entry.zip64 = entry.compressedSize == kZip64Marker || entry.size == kZip64Marker ||
                entry.localOffset == kZip64Marker;
  entry.localOffset += shift;
  entry.name.assign(reinterpret_cast<const char*>(p + kCentralHeaderSize), Get16(p + 28));
  return entry;
}

// Reads the central directory into `entries`; it must end exactly where the
// end record says and hold as many entries as it counts.
DataResult ReadDirectory(ArchiveFile& file, const DirectoryPlace& place, std::vector<ZipEntry>* entries,
                         std::string* error) {
  std::vector<unsigned char> directory;
  std::string reason;
  if (!ReadExactly(file, place.start, &directory, place.size, &reason)) {
    *error = "cannot read the central directory: " + reason;
    return DataResult::kReadError;
  }
  entries->reserve(place.entries);
  size_t pos = 0;
  while (pos + kCentralHeaderSize <= directory.size()) {
    const unsigned char* p = directory.data() + pos;
    if (Get32(p) != kCentralSignature) break;
    size_t next = pos + kCentralHeaderSize + Get16(p + 28) + Get16(p + 30) + Get16(p + 32);
    if (next > directory.size()) break;
    entries->push_back(ParseCentralHeader(p, place.shift));
    pos = next;
  }
  // The count field keeps 16 bits, so only its low bits can be compared.
  if (pos != directory.size() || (entries->size() & 0xFFFF) != place.entries) {
    *error = "damaged archive (central directory does not match its end record)";
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

}  // namespace

void MarkOverlaps(std::vector<ZipEntry>* entries, uint64_t directoryStart) {
  std::vector<ZipEntry*> order;
  order.reserve(entries->size());
  for (ZipEntry& entry : *entries) order.push_back(&entry);
  std::sort(order.begin(), order.end(),
            [](const ZipEntry* a, const ZipEntry* b) { return a->localOffset < b->localOffset; });
  auto smallestEnd = [](const ZipEntry& entry) {
    return entry.localOffset + kLocalHeaderSize + (entry.zip64 ? 0 : entry.compressedSize);
  };
  // In offset order an entry overlaps a later one exactly when it reaches
  // past the next offset, and an earlier one when it starts before the
  // furthest end so far.
  uint64_t furthestEnd = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    ZipEntry& entry = *order[i];
    entry.roomEnd = i + 1 < order.size() ? order[i + 1]->localOffset : directoryStart;
    uint64_t end = smallestEnd(entry);
    entry.overlaps = end > entry.roomEnd || (i > 0 && entry.localOffset < furthestEnd);
    furthestEnd = std::max(furthestEnd, end);
  }
}

struct ZipReader::Inflater {
  z_stream stream = {};
  bool ready = false;
  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
};

ZipReader::ZipReader() : inflater_(std::make_unique<Inflater>()) {}
ZipReader::~ZipReader() = default;

DataResult ZipReader::Open(const std::string& path, std::string* error) {
  std::string reason;
  if (!file_.Open(path, &reason)) {
    *error = "cannot open: " + reason;
    return DataResult::kReadError;
  }
  EndRecord end;
  DataResult result = FindEndRecord(file_, &end, error);
  if (result != DataResult::kOk) return result;
  DirectoryPlace place;
  result = LocateDirectory(end, &place, error);
  if (result != DataResult::kOk) return result;
  entries_.clear();
  result = ReadDirectory(file_, place, &entries_, error);
  if (result == DataResult::kOk) MarkOverlaps(&entries_, place.start);
  return result;
}

const unsigned char* ZipReader::Fetch(uint64_t offset, size_t length, DataResult* result,
                                      std::string* error) {
  if (offset >= windowOffset_ && offset - windowOffset_ + length <= windowLength_) {
    return window_.data() + (offset - windowOffset_);
  }
  if (offset > file_.size() || length > file_.size() - offset) {
    *result = DataResult::kCorrupt;
    *error = "truncated archive (entry data beyond its end)";
    return nullptr;
  }
  window_.resize(kWindowSize);
  size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowSize, file_.size() - offset));
  size_t got = 0;
  windowLength_ = 0;
  if (!file_.ReadAt(offset, window_.data(), want, &got, error)) {
    *result = DataResult::kReadError;
    return nullptr;
  }
  windowOffset_ = offset;
  windowLength_ = got;
  if (got < length) {
    *result = DataResult::kCorrupt;
    *error = "truncated archive (entry data beyond its end)";
    return nullptr;
  }
  return window_.data();
}

namespace {

// Whether the reader can stream the entry at all.
DataResult CheckReadable(const ZipEntry& entry, std::string* error) {
  // Bytes of one entry must never come out as part of another (an archive
  // of many entries over one local entry is a bomb).
  if (entry.overlaps) {
    *error = kOverlapError;
    return DataResult::kCorrupt;
  }
  if (entry.encrypted) {
    *error = "encrypted entries are not supported";
    return DataResult::kUnsupported;
  }
  if (entry.zip64) {
    *error = "zip64 entries are not supported";
    return DataResult::kUnsupported;
  }
  if (entry.method != 0 && entry.method != Z_DEFLATED) {
    *error = "compression method " + std::to_string(entry.method) + " is not supported";
    return DataResult::kUnsupported;
  }
  return DataResult::kOk;
}

}  // namespace

DataResult ZipReader::LocateData(const ZipEntry& entry, uint64_t* dataOffset, std::string* error) {
  DataResult result = DataResult::kOk;
  const unsigned char* header = Fetch(entry.localOffset, kLocalHeaderSize, &result, error);
  if (!header) return result;
  if (Get32(header) != kLocalSignature) {
    *error = "damaged archive (no local header where the directory points)";
    return DataResult::kCorrupt;
  }
  *dataOffset = entry.localOffset + kLocalHeaderSize + Get16(header + 26) + Get16(header + 28);
  if (*dataOffset > file_.size() || entry.compressedSize > file_.size() - *dataOffset) {
    *error = "truncated archive (entry data beyond its end)";
    return DataResult::kCorrupt;
  }
  if (*dataOffset + entry.compressedSize > entry.roomEnd) {
    *error = kOverlapError;
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

DataResult ZipReader::ReadEntry(const ZipEntry& entry, const DataSink& sink, std::string* error) {
  DataResult result = CheckReadable(entry, error);
  if (result != DataResult::kOk) return result;
  uint64_t dataOffset = 0;
  result = LocateData(entry, &dataOffset, error);
  if (result != DataResult::kOk) return result;
  uint32_t crc = 0;
  result = entry.method == 0 ? CopyStored(entry, dataOffset, sink, &crc, error)
                             : Inflate(entry, dataOffset, sink, &crc, error);
  if (result != DataResult::kOk) return result;
  if (crc != entry.crc) {
    *error = "CRC-32 mismatch (damaged data)";
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

DataResult ZipReader::CopyStored(const ZipEntry& entry, uint64_t dataOffset, const DataSink& sink,
                                 uint32_t* crc, std::string* error) {
  if (entry.compressedSize != entry.size) {
    *error = "damaged archive (stored entry with two different sizes)";
    return DataResult::kCorrupt;
  }
  DataResult result = DataResult::kOk;
  uint64_t pos = dataOffset, remaining = entry.size;
  while (remaining > 0) {
    // Whatever the window holds from here on, or a fresh window.
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, kWindowSize));
    const unsigned char* data = Fetch(pos, 1, &result, error);
    if (!data) return result;
    chunk = std::min<size_t>(chunk, windowOffset_ + windowLength_ - pos);
    *crc = static_cast<uint32_t>(crc32(*crc, data, static_cast<uInt>(chunk)));
    if (!sink(reinterpret_cast<const char*>(data), chunk)) return DataResult::kSinkError;
    pos += chunk;
    remaining -= chunk;
  }
  return DataResult::kOk;
}

DataResult ZipReader::Inflate(const ZipEntry& entry, uint64_t dataOffset, const DataSink& sink,
                              uint32_t* crc, std::string* error) {
  z_stream& stream = inflater_->stream;
  if (!inflater_->ready) {
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
      *error = "out of memory";
      return DataResult::kReadError;
    }
    inflater_->ready = true;
  } else {
    inflateReset(&stream);
  }
  output_.resize(kOutputSize);
  DataResult result = DataResult::kOk;
  uint64_t pos = dataOffset, remaining = entry.compressedSize, produced = 0;
  stream.avail_in = 0;
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      const unsigned char* data = Fetch(pos, 1, &result, error);
      if (!data) return result;
      size_t chunk = static_cast<size_t>(
          std::min<uint64_t>(remaining, windowOffset_ + windowLength_ - pos));
      stream.next_in = const_cast<Bytef*>(data);
      stream.avail_in = static_cast<uInt>(chunk);
      pos += chunk;
      remaining -= chunk;
    }
    stream.next_out = reinterpret_cast<Bytef*>(output_.data());
    stream.avail_out = static_cast<uInt>(output_.size());
    int rc = inflate(&stream, Z_NO_FLUSH);
    size_t have = output_.size() - stream.avail_out;
    if (have > 0) {
      produced += have;
      // Never write more than the directory promised.
      if (produced > entry.size) {
        *error = "damaged archive (more data than the recorded size)";
        return DataResult::kCorrupt;
      }
      *crc = static_cast<uint32_t>(crc32(*crc, reinterpret_cast<const Bytef*>(output_.data()),
                                         static_cast<uInt>(have)));
      if (!sink(output_.data(), have)) return DataResult::kSinkError;
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && stream.avail_in == 0 && remaining == 0) {
      *error = "damaged archive (compressed data ends early)";
      return DataResult::kCorrupt;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      *error = std::string("damaged archive (bad compressed data") +
               (stream.msg ? std::string(": ") + stream.msg : std::string()) + ")";
      return DataResult::kCorrupt;
    }
  }
  if (produced != entry.size) {
    *error = "damaged archive (less data than the recorded size)";
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

}  // namespace unzip
