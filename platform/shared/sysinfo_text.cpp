#include "platform/shared/sysinfo_text.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <vector>

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

// The lines of `text` without their line ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The words of `line`, apart at white space.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t pos = 0;
  for (;;) {
    while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) ++pos;
    if (pos >= line.size()) return fields;
    size_t end = pos;
    while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
    fields.push_back(line.substr(pos, end - pos));
    pos = end;
  }
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
  for (const std::string& line : Lines(text)) {
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
  std::string multi;
  bool header = true;
  for (const std::string& line : Lines(text)) {
    if (header) {
      header = false;
      continue;
    }
    // Filename, Type, Size (KiB), ...: white space apart.
    const std::vector<std::string> fields = Fields(line);
    size_t pos = 0;
    std::optional<uint64_t> sizeKib = fields.size() >= 3 ? LeadingNumber(fields[2], pos) : std::nullopt;
    if (!sizeKib) continue;
    multi += "swap:" + fields[0] + " 0 " + std::to_string(*sizeKib / 1024);
    multi += '\0';
  }
  multi += '\0';
  return multi;
}

}  // namespace platform
