// inflate.h through libdeflate.
#include <libdeflate.h>

#include <new>

#include "tools/unzip/inflate.h"

namespace unzip {

struct WholeInflater::State {
  libdeflate_decompressor* decompressor = nullptr;
  ~State() {
    if (decompressor) libdeflate_free_decompressor(decompressor);
  }
};

WholeInflater::WholeInflater() : state_(std::make_unique<State>()) {}
WholeInflater::~WholeInflater() = default;

InflateResult WholeInflater::Inflate(const unsigned char* in, size_t inLength, unsigned char* out,
                                     size_t size, std::string*) {
  if (!state_->decompressor) {
    state_->decompressor = libdeflate_alloc_decompressor();
    if (!state_->decompressor) throw std::bad_alloc();
  }
  size_t used = 0, produced = 0;
  switch (libdeflate_deflate_decompress_ex(state_->decompressor, in, inLength, out, size, &used,
                                           &produced)) {
    case LIBDEFLATE_SUCCESS:
      return produced == size ? InflateResult::kOk : InflateResult::kTooShort;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
      return InflateResult::kTooLong;
    default:
      return InflateResult::kBadData;
  }
}

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t length) {
  return libdeflate_crc32(crc, data, length);
}

}  // namespace unzip
