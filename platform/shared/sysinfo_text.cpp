#include "platform/shared/sysinfo_text.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <sstream>

namespace platform {

namespace {

// The leading decimal digits of `text` from `pos` (clamped), or nullopt.
std::optional<uint64_t> LeadingNumber(const std::string& text, size_t& pos) {
  if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos]))) return std::nullopt;
  uint64_t value = 0;
  constexpr uint64_t kClamp = std::numeric_limits<uint32_t>::max() * uint64_t(1000);
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    if (value < kClamp) value = value * 10 + uint64_t(text[pos] - '0');
    ++pos;
  }
  return value < kClamp ? value : kClamp;
}

uint32_t ToMhz(uint64_t value) {
  return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : uint32_t(value);
}

}  // namespace

void KernelVersionFromRelease(const std::string& release, int& major, int& minor) {
  major = minor = 0;
  size_t pos = 0;
  if (auto n = LeadingNumber(release, pos)) major = int(std::min<uint64_t>(*n, 99999));
  if (pos < release.size() && release[pos] == '.') {
    ++pos;
    if (auto n = LeadingNumber(release, pos)) minor = int(std::min<uint64_t>(*n, 99999));
  }
}

std::optional<uint32_t> MhzFromMaxFreqKhz(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  auto khz = LeadingNumber(text, pos);
  if (!khz) return std::nullopt;
  return ToMhz(*khz / 1000);
}

std::optional<uint32_t> MhzFromCpuinfo(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, 7, "cpu MHz") != 0) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t pos = colon + 1;
    while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) ++pos;
    auto mhz = LeadingNumber(line, pos);
    if (mhz) return ToMhz(*mhz);
  }
  return std::nullopt;
}

std::string PagingFilesFromProcSwaps(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  std::string multi;
  bool header = true;
  while (std::getline(lines, line)) {
    if (header) {
      header = false;
      continue;
    }
    std::istringstream fields(line);
    std::string path, type;
    uint64_t sizeKib = 0;
    if (!(fields >> path >> type >> sizeKib)) continue;
    multi += "swap:" + path + " 0 " + std::to_string(sizeKib / 1024);
    multi += '\0';
  }
  multi += '\0';
  return multi;
}

}  // namespace platform
