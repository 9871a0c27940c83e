// inflate.h through zlib.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

#include "tools/unzip/inflate.h"

namespace unzip {

struct WholeInflater::State {
  z_stream stream = {};
  bool ready = false;
  ~State() {
    if (ready) inflateEnd(&stream);
  }
};

WholeInflater::WholeInflater() : state_(std::make_unique<State>()) {}
WholeInflater::~WholeInflater() = default;

InflateResult WholeInflater::Inflate(const unsigned char* in, size_t inLength, unsigned char* out,
                                     size_t size, std::string* detail) {
  z_stream& stream = state_->stream;
  if (!state_->ready) {
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    state_->ready = true;
  } else {
    inflateReset(&stream);
  }
  // Callers keep both sides far below 4 GiB.
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = static_cast<uInt>(inLength);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(size);
  int rc = inflate(&stream, Z_FINISH);
  if (rc == Z_STREAM_END) return stream.total_out == size ? InflateResult::kOk : InflateResult::kTooShort;
  if ((rc == Z_OK || rc == Z_BUF_ERROR) && stream.avail_out == 0) {
    // Full: the stream may still end without another byte.
    unsigned char probe;
    stream.next_out = &probe;
    stream.avail_out = 1;
    rc = inflate(&stream, Z_FINISH);
    if (rc == Z_STREAM_END && stream.avail_out == 1) return InflateResult::kOk;
    if (stream.avail_out == 0) return InflateResult::kTooLong;
  }
  if (rc == Z_BUF_ERROR && stream.avail_in == 0) return InflateResult::kEndsEarly;
  if (stream.msg) *detail = stream.msg;
  return InflateResult::kBadData;
}

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t length) {
  while (length > 0) {
    uInt chunk = static_cast<uInt>(std::min<size_t>(length, UINT_MAX));
    crc = static_cast<uint32_t>(crc32(crc, data, chunk));
    data += chunk;
    length -= chunk;
  }
  return crc;
}

}  // namespace unzip
