// Raw deflate data inflated in one call, and the CRC-32 of data: the seam
// between the reader and a compression library. inflate_zlib.cpp (both
// builds) and inflate_libdeflate.cpp (Linux, when CMake finds libdeflate,
// which inflates about twice as fast but cannot stream) implement it. An
// entry too large for one call is streamed through zlib by the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace unzip {

enum class InflateResult {
  kOk,
  kTooLong,   // more data than the recorded size
  kTooShort,  // the stream ended before the recorded size
  kEndsEarly, // the compressed data ends before the stream does
  kBadData,   // not a valid deflate stream
};

// One thread's inflater; its state is reused from one entry to the next.
class WholeInflater {
 public:
  WholeInflater();
  ~WholeInflater();
  WholeInflater(const WholeInflater&) = delete;
  WholeInflater& operator=(const WholeInflater&) = delete;

  // Inflates `in` into exactly `size` bytes at `out`; *detail may name what
  // is wrong with bad data.
  InflateResult Inflate(const unsigned char* in, size_t inLength, unsigned char* out, size_t size,
                        std::string* detail);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t length);

}  // namespace unzip
