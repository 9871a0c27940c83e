#include "tools/unzip/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>

#include "tools/unzip/inflate.h"

namespace unzip {

namespace {

// A thread's reading memory is two buffers of this size; an entry that fits
// both is inflated in one call.
constexpr size_t kWindowSize = kReadWindow;
constexpr size_t kOutputSize = 256 << 10;
// Central directory bytes held at once while it is read.
constexpr size_t kDirectoryChunk = 1 << 20;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndRecordSize = 56;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kMarker32 = 0xFFFFFFFF;
constexpr uint16_t kFlagEncrypted = 1 << 0;
constexpr uint16_t kFlagUtf8 = 1 << 11;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr const char* kOverlapError = "damaged archive (entry overlaps another entry)";
constexpr const char* kEndsEarlyError = "damaged archive (compressed data ends early)";
constexpr const char* kTruncatedError = "truncated archive (entry data beyond its end)";

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Get64(const unsigned char* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }

// a + b, or the largest value when that does not fit: a lying size must not
// wrap around to a small offset.
uint64_t AddCapped(uint64_t a, uint64_t b) {
  return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max() : a + b;
}

bool ReadExactly(const ArchiveFile& file, uint64_t offset, std::vector<unsigned char>* out, uint64_t length,
                 std::string* error) {
  if (length > file.size() || offset > file.size() - length || length > SIZE_MAX) {
    *error = "the archive is shorter than its directory says";
    return false;
  }
  out->resize(static_cast<size_t>(length));
  size_t got = 0;
  if (!file.ReadAt(offset, out->data(), out->size(), &got, error)) return false;
  if (got != length) {
    *error = "the archive is shorter than its directory says";
    return false;
  }
  return true;
}

// What the end records say about the central directory.
struct EndRecord {
  uint64_t directoryEnd = 0;  // where the directory must end: the (zip64) end record
  bool zip64 = false;
  uint32_t disk = 0, directoryDisk = 0;
  uint64_t entriesHere = 0, entriesTotal = 0;
  uint64_t directorySize = 0, directoryOffset = 0;
};

// Where the central directory lies in the archive as it is.
struct DirectoryPlace {
  uint64_t start = 0;
  uint64_t size = 0;
  uint64_t entries = 0;
  bool exactCount = false;  // else only the low 16 bits are recorded
  uint64_t shift = 0;       // bytes prepended to the archive (a stub, a header)
};

// The zip64 end record named by the locator at `locatorOffset`, which must
// end where the locator begins. Data prepended to the archive moves it from
// where the locator says; then it is looked for right before the locator.
DataResult ReadZip64End(const ArchiveFile& file, uint64_t locatorOffset, EndRecord* record,
                        std::string* error) {
  std::vector<unsigned char> bytes;
  std::string reason;
  if (!ReadExactly(file, locatorOffset, &bytes, kZip64LocatorSize, &reason)) {
    *error = "cannot read: " + reason;
    return DataResult::kReadError;
  }
  const uint32_t recordDisk = Get32(bytes.data() + 4);
  const uint64_t stated = Get64(bytes.data() + 8);
  const uint32_t disks = Get32(bytes.data() + 16);
  if (recordDisk != 0 || disks > 1) {
    *error = "archives split over several disks are not supported";
    return DataResult::kUnsupported;
  }
  auto recordAt = [&](uint64_t offset) {
    return offset <= locatorOffset && locatorOffset - offset >= kZip64EndRecordSize &&
           ReadExactly(file, offset, &bytes, kZip64EndRecordSize, &reason) &&
           Get32(bytes.data()) == kZip64EndSignature &&
           AddCapped(offset + 12, Get64(bytes.data() + 4)) == locatorOffset;
  };
  uint64_t offset = stated;
  if (!recordAt(offset)) {
    offset = locatorOffset >= kZip64EndRecordSize ? locatorOffset - kZip64EndRecordSize : 0;
    if (!recordAt(offset)) {
      *error = "damaged archive (no zip64 end record where its locator points)";
      return DataResult::kCorrupt;
    }
  }
  const unsigned char* p = bytes.data();
  record->directoryEnd = offset;
  record->zip64 = true;
  record->disk = Get32(p + 16);
  record->directoryDisk = Get32(p + 20);
  record->entriesHere = Get64(p + 24);
  record->entriesTotal = Get64(p + 32);
  record->directorySize = Get64(p + 40);
  record->directoryOffset = Get64(p + 48);
  return DataResult::kOk;
}

// Finds the end record in the last 22 bytes plus at most a 64 KiB comment,
// and the zip64 end record when a locator stands right before it.
DataResult FindEndRecord(const ArchiveFile& file, EndRecord* record, std::string* error) {
  const uint64_t size = file.size();
  if (size < kEndRecordSize) {
    *error = "not a zip archive (too short)";
    return DataResult::kCorrupt;
  }
  uint64_t tailLength = std::min<uint64_t>(size, kEndRecordSize + kMaxCommentSize);
  uint64_t tailOffset = size - tailLength;
  std::vector<unsigned char> tail;
  std::string reason;
  if (!ReadExactly(file, tailOffset, &tail, tailLength, &reason)) {
    *error = "cannot read: " + reason;
    return DataResult::kReadError;
  }
  size_t at = tail.size() - kEndRecordSize + 1;
  const unsigned char* end = nullptr;
  while (at-- > 0) {
    const unsigned char* p = tail.data() + at;
    if (Get32(p) == kEndSignature && at + kEndRecordSize + Get16(p + 20) <= tail.size()) {
      end = p;
      break;
    }
  }
  if (!end) {
    *error = "not a zip archive, or truncated (no end of central directory)";
    return DataResult::kCorrupt;
  }
  const uint64_t endOffset = tailOffset + at;
  if (endOffset >= kZip64LocatorSize) {
    std::vector<unsigned char> locator;
    if (ReadExactly(file, endOffset - kZip64LocatorSize, &locator, 4, &reason) &&
        Get32(locator.data()) == kZip64LocatorSignature) {
      return ReadZip64End(file, endOffset - kZip64LocatorSize, record, error);
    }
  }
  record->directoryEnd = endOffset;
  record->disk = Get16(end + 4);
  record->directoryDisk = Get16(end + 6);
  record->entriesHere = Get16(end + 8);
  record->entriesTotal = Get16(end + 10);
  record->directorySize = Get32(end + 12);
  record->directoryOffset = Get32(end + 16);
  if (record->directorySize == kMarker32 || record->directoryOffset == kMarker32) {
    *error = "damaged archive (zip64 values without a zip64 end record)";
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

// Checks what the end record says about the central directory against the
// archive as it is.
DataResult LocateDirectory(const EndRecord& end, DirectoryPlace* place, std::string* error) {
  if (end.disk != 0 || end.directoryDisk != 0 || end.entriesHere != end.entriesTotal) {
    *error = "archives split over several disks are not supported";
    return DataResult::kUnsupported;
  }
  if (end.directorySize > end.directoryEnd) {
    *error = "damaged archive (central directory larger than the archive)";
    return DataResult::kCorrupt;
  }
  // Data prepended to the archive shifts every offset.
  place->start = end.directoryEnd - end.directorySize;
  if (place->start < end.directoryOffset) {
    *error = "truncated or damaged archive (central directory is not where it should be)";
    return DataResult::kCorrupt;
  }
  place->size = end.directorySize;
  place->entries = end.entriesTotal;
  place->exactCount = end.zip64;
  place->shift = place->start - end.directoryOffset;
  return DataResult::kOk;
}

// One central directory header; `p` holds at least kCentralHeaderSize bytes
// and the name and extra fields. Sizes and the offset marked as too large
// for 32 bits come from the zip64 extra field, which must hold them.
bool ParseCentralHeader(const unsigned char* p, uint64_t shift, ZipEntry* entry) {
  uint16_t flags = Get16(p + 8);
  entry->hostSystem = p[5];
  entry->utf8 = flags & kFlagUtf8;
  entry->encrypted = flags & kFlagEncrypted;
  entry->method = Get16(p + 10);
  entry->crc = Get32(p + 16);
  entry->compressedSize = Get32(p + 20);
  entry->size = Get32(p + 24);
  entry->externalAttributes = Get32(p + 38);
  entry->localOffset = Get32(p + 42);
  const uint16_t nameLength = Get16(p + 28);
  entry->name.assign(reinterpret_cast<const char*>(p + kCentralHeaderSize), nameLength);
  const bool wide[3] = {entry->size == kMarker32, entry->compressedSize == kMarker32,
                        entry->localOffset == kMarker32};
  uint64_t* fields[3] = {&entry->size, &entry->compressedSize, &entry->localOffset};
  if (wide[0] || wide[1] || wide[2]) {
    const unsigned char* extra = p + kCentralHeaderSize + nameLength;
    const size_t extraLength = Get16(p + 30);
    bool found = false;
    for (size_t at = 0; !found && at + 4 <= extraLength;) {
      const size_t length = Get16(extra + at + 2);
      if (at + 4 + length > extraLength) break;
      if (Get16(extra + at) == kZip64ExtraId) {
        // Only the marked fields are there, in this order.
        const unsigned char* field = extra + at + 4;
        size_t left = length;
        for (int i = 0; i < 3; ++i) {
          if (!wide[i]) continue;
          if (left < 8) return false;
          *fields[i] = Get64(field);
          field += 8;
          left -= 8;
        }
        found = true;
      }
      at += 4 + length;
    }
    if (!found) return false;
  }
  entry->localOffset = AddCapped(entry->localOffset, shift);
  return true;
}

// Reads the central directory into `entries`, a chunk at a time; it must end
// exactly where the end record says and hold as many entries as it counts.
DataResult ReadDirectory(const ArchiveFile& file, const DirectoryPlace& place, std::vector<ZipEntry>* entries,
                         std::string* error) {
  std::vector<unsigned char> chunk;
  uint64_t chunkStart = 0;
  std::string reason;
  bool readFailed = false;
  // Makes [pos, pos + length) of the directory available; false at its end.
  auto have = [&](uint64_t pos, uint64_t length) -> const unsigned char* {
    if (length > place.size || pos > place.size - length) return nullptr;
    if (pos < chunkStart || pos + length > chunkStart + chunk.size()) {
      uint64_t take = std::min<uint64_t>(place.size - pos, std::max<uint64_t>(length, kDirectoryChunk));
      if (!ReadExactly(file, place.start + pos, &chunk, take, &reason)) {
        readFailed = true;
        return nullptr;
      }
      chunkStart = pos;
    }
    return chunk.data() + (pos - chunkStart);
  };
  // Every header takes 46 bytes at least: a count beyond that is a lie.
  entries->reserve(static_cast<size_t>(std::min<uint64_t>(place.entries, place.size / kCentralHeaderSize)));
  uint64_t pos = 0;
  while (const unsigned char* p = have(pos, kCentralHeaderSize)) {
    if (Get32(p) != kCentralSignature) break;
    const uint64_t length = kCentralHeaderSize + Get16(p + 28) + Get16(p + 30) + Get16(p + 32);
    if (!(p = have(pos, length))) break;
    ZipEntry entry;
    if (!ParseCentralHeader(p, place.shift, &entry)) {
      *error = "damaged archive (zip64 extra field missing or too short)";
      return DataResult::kCorrupt;
    }
    entries->push_back(std::move(entry));
    pos += length;
  }
  if (readFailed) {
    *error = "cannot read the central directory: " + reason;
    return DataResult::kReadError;
  }
  // Without zip64 the count keeps 16 bits, so only its low bits can be
  // compared.
  const uint64_t counted = place.exactCount ? entries->size() : entries->size() & 0xFFFF;
  if (pos != place.size || counted != place.entries) {
    *error = "damaged archive (central directory does not match its end record)";
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

std::atomic<uint64_t> archiveSerials{0};

}  // namespace

void MarkOverlaps(std::vector<ZipEntry>* entries, uint64_t directoryStart) {
  std::vector<ZipEntry*> order;
  order.reserve(entries->size());
  for (ZipEntry& entry : *entries) order.push_back(&entry);
  std::sort(order.begin(), order.end(),
            [](const ZipEntry* a, const ZipEntry* b) { return a->localOffset < b->localOffset; });
  auto smallestEnd = [](const ZipEntry& entry) {
    return AddCapped(AddCapped(entry.localOffset, kLocalHeaderSize), entry.compressedSize);
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

ZipArchive::ZipArchive() : serial_(++archiveSerials) {}

DataResult ZipArchive::Open(const std::string& path, std::string* error) {
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

struct EntryReader::Stream {
  z_stream stream = {};
  bool ready = false;
  ~Stream() {
    if (ready) inflateEnd(&stream);
  }
};

EntryReader::EntryReader()
    : whole_(std::make_unique<WholeInflater>()), stream_(std::make_unique<Stream>()) {}
EntryReader::~EntryReader() = default;

void EntryReader::Prefetch(const ZipArchive& archive, uint64_t start, uint64_t end) {
  const ArchiveFile& file = archive.file();
  end = std::min(end, file.size());
  if (start >= end || end - start > kWindowSize) return;
  if (windowArchive_ == archive.serial() && start >= windowOffset_ &&
      end - windowOffset_ <= windowLength_) {
    return;
  }
  window_.resize(kWindowSize);
  size_t got = 0;
  std::string ignored;
  windowLength_ = 0;
  if (file.ReadAt(start, window_.data(), static_cast<size_t>(end - start), &got, &ignored)) {
    windowArchive_ = archive.serial();
    windowOffset_ = start;
    windowLength_ = got;
  }
}

const unsigned char* EntryReader::Fetch(const ZipArchive& archive, uint64_t offset, size_t length,
                                        DataResult* result, std::string* error) {
  if (windowArchive_ == archive.serial() && offset >= windowOffset_ &&
      offset - windowOffset_ <= windowLength_ && length <= windowLength_ - (offset - windowOffset_)) {
    return window_.data() + (offset - windowOffset_);
  }
  const ArchiveFile& file = archive.file();
  if (offset > file.size() || length > file.size() - offset) {
    *result = DataResult::kCorrupt;
    *error = kTruncatedError;
    return nullptr;
  }
  window_.resize(kWindowSize);
  size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowSize, file.size() - offset));
  size_t got = 0;
  windowLength_ = 0;
  if (!file.ReadAt(offset, window_.data(), want, &got, error)) {
    *result = DataResult::kReadError;
    return nullptr;
  }
  windowArchive_ = archive.serial();
  windowOffset_ = offset;
  windowLength_ = got;
  if (got < length) {
    *result = DataResult::kCorrupt;
    *error = kTruncatedError;
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
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
    *error = "compression method " + std::to_string(entry.method) + " is not supported";
    return DataResult::kUnsupported;
  }
  return DataResult::kOk;
}

}  // namespace

DataResult EntryReader::LocateData(const ZipArchive& archive, const ZipEntry& entry, uint64_t* dataOffset,
                                   std::string* error) {
  DataResult result = DataResult::kOk;
  const unsigned char* header = Fetch(archive, entry.localOffset, kLocalHeaderSize, &result, error);
  if (!header) return result;
  if (Get32(header) != kLocalSignature) {
    *error = "damaged archive (no local header where the directory points)";
    return DataResult::kCorrupt;
  }
  const uint64_t fileSize = archive.file().size();
  *dataOffset = entry.localOffset + kLocalHeaderSize + Get16(header + 26) + Get16(header + 28);
  if (*dataOffset > fileSize || entry.compressedSize > fileSize - *dataOffset) {
    *error = kTruncatedError;
    return DataResult::kCorrupt;
  }
  if (*dataOffset + entry.compressedSize > entry.roomEnd) {
    *error = kOverlapError;
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

DataResult EntryReader::ReadEntry(const ZipArchive& archive, const ZipEntry& entry, const DataSink& sink,
                                  std::string* error) {
  DataResult result = CheckReadable(entry, error);
  if (result != DataResult::kOk) return result;
  uint64_t dataOffset = 0;
  result = LocateData(archive, entry, &dataOffset, error);
  if (result != DataResult::kOk) return result;
  uint32_t crc = 0;
  if (entry.method == kMethodStored) {
    result = CopyStored(archive, entry, dataOffset, sink, &crc, error);
  } else if (entry.compressedSize <= kWindowSize && entry.size <= kOutputSize) {
    result = InflateWhole(archive, entry, dataOffset, sink, &crc, error);
  } else {
    result = InflateStream(archive, entry, dataOffset, sink, &crc, error);
  }
  if (result != DataResult::kOk) return result;
  if (crc != entry.crc) {
    *error = "CRC-32 mismatch (damaged data)";
    return DataResult::kCorrupt;
  }
  return DataResult::kOk;
}

DataResult EntryReader::CopyStored(const ZipArchive& archive, const ZipEntry& entry, uint64_t dataOffset,
                                   const DataSink& sink, uint32_t* crc, std::string* error) {
  if (entry.compressedSize != entry.size) {
    *error = "damaged archive (stored entry with two different sizes)";
    return DataResult::kCorrupt;
  }
  DataResult result = DataResult::kOk;
  uint64_t pos = dataOffset, remaining = entry.size;
  while (remaining > 0) {
    // Whatever the window holds from here on, or a fresh window.
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, kWindowSize));
    const unsigned char* data = Fetch(archive, pos, 1, &result, error);
    if (!data) return result;
    chunk = std::min<size_t>(chunk, windowOffset_ + windowLength_ - pos);
    *crc = Crc32(*crc, data, chunk);
    if (!sink(reinterpret_cast<const char*>(data), chunk)) return DataResult::kSinkError;
    pos += chunk;
    remaining -= chunk;
  }
  return DataResult::kOk;
}

namespace {

std::string BadDataError(const std::string& detail) {
  return "damaged archive (bad compressed data" + (detail.empty() ? std::string() : ": " + detail) + ")";
}

}  // namespace

DataResult EntryReader::InflateWhole(const ZipArchive& archive, const ZipEntry& entry, uint64_t dataOffset,
                                     const DataSink& sink, uint32_t* crc, std::string* error) {
  DataResult result = DataResult::kOk;
  const unsigned char* data =
      Fetch(archive, dataOffset, static_cast<size_t>(entry.compressedSize), &result, error);
  if (!data) return result;
  output_.resize(kOutputSize);
  const size_t size = static_cast<size_t>(entry.size);
  std::string detail;
  switch (whole_->Inflate(data, static_cast<size_t>(entry.compressedSize), output_.data(), size, &detail)) {
    case InflateResult::kOk:
      break;
    case InflateResult::kTooLong:
      *error = "damaged archive (more data than the recorded size)";
      return DataResult::kCorrupt;
    case InflateResult::kTooShort:
      *error = "damaged archive (less data than the recorded size)";
      return DataResult::kCorrupt;
    case InflateResult::kEndsEarly:
      *error = kEndsEarlyError;
      return DataResult::kCorrupt;
    case InflateResult::kBadData:
      *error = BadDataError(detail);
      return DataResult::kCorrupt;
  }
  *crc = Crc32(*crc, output_.data(), size);
  if (size > 0 && !sink(reinterpret_cast<const char*>(output_.data()), size)) return DataResult::kSinkError;
  return DataResult::kOk;
}

DataResult EntryReader::InflateStream(const ZipArchive& archive, const ZipEntry& entry, uint64_t dataOffset,
                                      const DataSink& sink, uint32_t* crc, std::string* error) {
  z_stream& stream = stream_->stream;
  if (!stream_->ready) {
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
      *error = "out of memory";
      return DataResult::kReadError;
    }
    stream_->ready = true;
  } else {
    inflateReset(&stream);
  }
  output_.resize(kOutputSize);
  DataResult result = DataResult::kOk;
  uint64_t pos = dataOffset, remaining = entry.compressedSize, produced = 0;
  stream.avail_in = 0;
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      const unsigned char* data = Fetch(archive, pos, 1, &result, error);
      if (!data) return result;
      size_t chunk = static_cast<size_t>(
          std::min<uint64_t>(remaining, windowOffset_ + windowLength_ - pos));
      stream.next_in = const_cast<Bytef*>(data);
      stream.avail_in = static_cast<uInt>(chunk);
      pos += chunk;
      remaining -= chunk;
    }
    stream.next_out = output_.data();
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
      *crc = Crc32(*crc, output_.data(), have);
      if (!sink(reinterpret_cast<const char*>(output_.data()), have)) return DataResult::kSinkError;
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && stream.avail_in == 0 && remaining == 0) {
      *error = kEndsEarlyError;
      return DataResult::kCorrupt;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      *error = BadDataError(stream.msg ? stream.msg : "");
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
