// The resource checks of a prerequisite section: service pack, display
// colours, processor speed and swap space. Each reports what it requires and
// what it found; a failure sets the pass result and adds the check's failure
// message (read from the required section, else the optional one) to the
// failure text.
#pragma once

#include <cstdint>
#include <string>

#include "prereq/prereq_report.h"

namespace prereq {

// The paging-file value is read into a buffer of this size.
constexpr size_t kPagingFilesBytes = 1024;

// The hotfix that turns Service Pack 6 of version 4 into 6a.
extern const char* const kHotfixQ246009Key;

// The keys of the checks' failure messages.
inline constexpr const char* kServicePackFailureKey = "SERVICE_PACK_FAILURE_MESSAGE";
inline constexpr const char* kDisplayColorsFailureKey = "MIN_DISPLAY_COLORS_FAILURE_MESSAGE";
inline constexpr const char* kCpuFailureKey = "CPU_FAILURE_MESSAGE";
inline constexpr const char* kSwapFailureKey = "TEMP_SPACE_FAILURE_MESSAGE";

// The failure message of a check, by its key (e.g. "CPU_FAILURE_MESSAGE").
std::string ReadFailureMessage(const PrereqState& state, const std::string& messageKey);
// Marks the pass failed and appends "\n\n" and the message, unless empty.
void ApplyCheckFailure(PrereqState& state, const std::string& failureMessage);

// SERVICE_PACK: a list of service-pack numbers, or one minimum.
void CheckServicePack(const std::string& value, PrereqState& state);
// MIN_DISPLAY_COLORS: the least number of colours.
void CheckDisplayColors(const std::string& value, PrereqState& state);
// CPU: the least processor speed in MHz.
void CheckCpuSpeed(const std::string& value, PrereqState& state);
// SWAP_SPACE: the least swap space in MB. Returns 1 when failed, 0 when
// passed; the caller applies the failure.
int CheckSwapSpace(const std::string& value, const PrereqState& state);

// The processor speed in MHz, 0 when it cannot be read.
uint32_t GetProcessorMhz();

// The number of colours at a depth, as the check shows it ("65536").
std::string ColorCountText(int depth);
// Sum of the maximum sizes (MB) in a paging-file multi-string.
long long SumPagingFileMaxima(const std::string& multiString);

}  // namespace prereq
