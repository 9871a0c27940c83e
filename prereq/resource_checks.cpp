#include "prereq/resource_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "platform/platform.h"
#include "prereq/certified_versions.h"
#include "prereq/prereq_reader.h"

namespace prereq {

const char* const kHotfixQ246009Key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The leading decimal number of a text (blanks, sign, digits, fraction,
// exponent); 0 when it does not begin with one. Hexadecimal, "inf" and "nan"
// are no decimal numbers.
double LeadingDecimal(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  size_t start = pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  size_t digits = 0;
  while (pos < text.size() && IsDigit(text[pos])) ++pos, ++digits;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos, ++digits;
  }
  if (digits == 0) return 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t exp = pos + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
    if (exp < text.size() && IsDigit(text[exp])) {
      pos = exp;
      while (pos < text.size() && IsDigit(text[pos])) ++pos;
    }
  }
  return std::strtod(text.substr(start, pos - start).c_str(), nullptr);
}

// The leading decimal integer as in "%d" (blanks, sign, digits), held to the
// int range; nullopt when there is none.
std::optional<long long> LeadingInteger(const std::string& text, size_t& pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  size_t at = pos;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at >= text.size() || !IsDigit(text[at])) return std::nullopt;
  constexpr long long kLimit = std::numeric_limits<int>::max();
  long long value = 0;
  while (at < text.size() && IsDigit(text[at])) {
    if (value <= kLimit) value = value * 10 + (text[at] - '0');
    ++at;
  }
  pos = at;
  if (negative) return value > kLimit + 1 ? -(kLimit + 1) : -value;
  return value > kLimit ? kLimit : value;
}

long long LeadingInteger(const std::string& text) {
  size_t pos = 0;
  return LeadingInteger(text, pos).value_or(0);
}

// The n-th (from 0) blank-separated word; empty when there are fewer.
std::string BlankWord(const std::string& text, int n) {
  size_t pos = 0;
  for (int i = 0;; ++i) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos >= text.size()) return {};
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    if (i == n) return text.substr(pos, end - pos);
    pos = end;
  }
}

// Service packs count up: "10" comes after "9", and "6a" after "6". Leading
// numbers compare as numbers, what follows them byte by byte.
bool ServicePackBelow(const std::string& actual, const std::string& required) {
  size_t a = 0, r = 0;
  std::optional<long long> na = IsDigit(actual[0]) ? LeadingInteger(actual, a) : std::nullopt;
  std::optional<long long> nr = required.empty() || !IsDigit(required[0]) ? std::nullopt : LeadingInteger(required, r);
  if (!na || !nr) return actual.compare(required) < 0;
  if (*na != *nr) return *na < *nr;
  return actual.compare(a, std::string::npos, required, r, std::string::npos) < 0;
}

std::string FormatDouble(const char* format, double value) {
  std::vector<char> buffer(512);
  int n = std::snprintf(buffer.data(), buffer.size(), format, value);
  if (n < 0) return {};
  return std::string(buffer.data(), std::min<size_t>(size_t(n), buffer.size() - 1));
}

void Verdict(PrereqState& state, bool passed, const std::string& failureMessage) {
  ReportMessage(passed ? "S_SPASSED" : "S_SFAILED");
  if (!passed) ApplyCheckFailure(state, failureMessage);
}

}  // namespace

std::string ReadFailureMessage(const PrereqState& state, const std::string& messageKey) {
  std::string message;
  GetPrereqValueEither(state.requiredSection, state.optionalSection, messageKey, "", message, state.paramFile);
  return message;
}

void ApplyCheckFailure(PrereqState& state, const std::string& failureMessage) {
  state.passResult = 1;
  if (!failureMessage.empty()) AppendFailureText(state, "\n\n" + failureMessage);
}

void CheckServicePack(const std::string& value, PrereqState& state) {
  std::string failureMessage = ReadFailureMessage(state, kServicePackFailureKey);
  ReportMessage("S_CHECKING_FOR_SERVICE_PACK");
  ShowAndLog(FormatChoiceList(value));

  std::string actual = state.version.servicePack;
  if (state.version.major == 4 && actual == "Service Pack 6" && platform::MachineKeyExists(kHotfixQ246009Key)) {
    actual += "a";
  }
  bool passed = false;
  if (actual.empty()) {
    ReportMessage("S_ACTUAL", {"none"});
  } else {
    ReportMessage("S_ACTUAL", {actual});
    std::string number = BlankWord(actual, 2);
    if (!number.empty()) {
      // Without commas the value is a minimum.
      passed = IsInList(value, number) == 1 ||
               (value.find(',') == std::string::npos && !ServicePackBelow(number, value));
    }
  }
  Verdict(state, passed, failureMessage);
}

std::string ColorCountText(int depth) {
  switch (depth) {
    case 4: return "16";
    case 8: return "256";
    case 15: return "32768";
    case 16: return "65536";
    case 24: return "16777216";
    case 32: return "4294967296";
    case 48: return "281474976710656";
    case 64: return "18446744073709551616";
    default: break;
  }
  return FormatDouble(depth < 32 ? "%f" : "%.0f", std::pow(2.0, depth));
}

void CheckDisplayColors(const std::string& value, PrereqState& state) {
  std::string failureMessage = ReadFailureMessage(state, kDisplayColorsFailureKey);
  ReportMessage("S_CHECKING_FOR_DISP_COL", {value});
  int depth = platform::DisplayColorBits();
  ReportMessage("S_HIGHER_THAN", {value});
  ReportMessage("S_ACTUAL", {ColorCountText(depth)});
  double required = LeadingDecimal(value);
  if (required <= 0) return;
  Verdict(state, depth >= 32 || std::pow(2.0, depth) >= required, failureMessage);
}

uint32_t GetProcessorMhz() { return platform::ProcessorMhz().value_or(0); }

void CheckCpuSpeed(const std::string& value, PrereqState& state) {
  std::string failureMessage = ReadFailureMessage(state, kCpuFailureKey);
  ReportMessage("S_CHECKING_FOR_CPU", {value});
  uint32_t mhz = GetProcessorMhz();
  ReportMessage("S_ACTUAL_CPU", {mhz});
  long long required = LeadingInteger(value);
  if (required <= 0) return;
  Verdict(state, mhz >= required, failureMessage);
}

long long SumPagingFileMaxima(const std::string& multiString) {
  std::string line = multiString;
  for (char& c : line) {
    if (c == '\0') c = ' ';
  }
  // Pieces between colons; the first is the first drive letter, every later
  // one a path with its sizes (and the next drive letter).
  long long total = 0;
  bool first = true;
  size_t start = 0;
  while (start <= line.size()) {
    size_t colon = line.find(':', start);
    if (colon == std::string::npos) colon = line.size();
    if (colon > start) {
      if (!first) {
        std::string piece = line.substr(start, colon - start);
        size_t pos = 0;
        while (pos < piece.size() && IsSpace(piece[pos])) ++pos;
        if (pos < piece.size()) {
          while (pos < piece.size() && !IsSpace(piece[pos])) ++pos;  // the path
          if (LeadingInteger(piece, pos)) {
            if (auto maximum = LeadingInteger(piece, pos)) total += *maximum;
          }
        }
      }
      first = false;
    }
    start = colon + 1;
  }
  return total;
}

int CheckSwapSpace(const std::string& value, const PrereqState& state) {
  double required = LeadingDecimal(value);
  if (!(required > 0)) {
    ReportMessage("S_INVALID_SWAP_SPACE_REQ");
    ReportMessage("S_SFAILED");
    return 1;
  }
  std::string pagingFiles;
  long status = platform::QueryPagingFiles(pagingFiles, kPagingFilesBytes);
  if (status != platform::kRegOk) {
    ReportMessage(status == platform::kRegMoreData ? "S_REGISTRY_KEY_TOO_LARGE" : "S_FAILED_TO_OPEN_REGISTRY");
    ReportMessage("S_SFAILED");
    return 1;
  }
  long long total = SumPagingFileMaxima(pagingFiles);
  if (total == 0 && state.version.major >= 6) {
    total = static_cast<long long>(platform::AvailablePageFileBytes() / 1048576);
  }
  if (static_cast<double>(total) >= required) {
    ReportMessage("S_CHECKING_FOR_SWAP", {value});
    ReportMessage("S_ACTUAL_SWAP", {total});
    ReportMessage("S_SPASSED");
    return 0;
  }
  ReportMessage("S_FAIL_CHECKING_FOR_SWAP", {total, value});
  ReportMessage("S_SFAILED");
  return 1;
}

}  // namespace prereq
