// The actions log: one plain-text file per run that every phase appends to,
// in <prerequisite log location>/logs, <inventory>/logs or the scratch
// directory. Opened, written and closed by each phase that records something;
// every record is flushed at once. Also the timing log kept under -PRINTTIME.
#pragma once

#include <string>

namespace runtime {

// Opens the actions log for appending: <log dir><logName><timestamp>.log.
// Success shows in ActionsLogPath() being non-empty.
void OpenActionsLog(const std::string& fallbackDir, const std::string& timestamp,
                    const std::string& logName);
// Appends the bytes unchanged and flushes; nothing when the log is closed.
void WriteActionsLog(const std::string& text);
void CloseActionsLog();
// The full path of the actions log after the last open ("" when it failed).
// It survives CloseActionsLog.
const std::string& ActionsLogPath();

// The inventory location from "inst_loc" under SOFTWARE\QUELTA (or, when that
// key cannot be opened, SOFTWARE\WOW6432NODE\QUELTA); "" when absent, longer
// than 1024 bytes or not text.
std::string ReadInventoryLocation();

// The timing log beside the actions log: same directory,
// launcherTiming<timestamp>.log. Opened only when the actions log has a path.
void OpenTimingLog(const std::string& timestamp);
void WriteTimingLog(const std::string& text);
void CloseTimingLog();
const std::string& TimingLogPath();

}  // namespace runtime
