// The actions log: one plain-text file per run that the phases append to,
// every record flushed at once; and, under -PRINTTIME, the timing log beside
// it. Where the log goes is worked out once for the run; each phase that
// records something holds a scope for as long as it writes, so an early
// return cannot leave the file open.
#pragma once

#include <string>

namespace common {

struct ActionsLogTarget {
  // The log directory when the run has a fixed one (<-PREREQLOGLOC>/logs,
  // <inventory>/logs ...); empty: the scratch directory of each opening.
  std::string fixedDir;
  // The log's name with its leading separator, the timestamp and ".log".
  std::string fileName;
};
void SetActionsLogTarget(const ActionsLogTarget& target);

// Opens the log for appending, its directory made first when missing, and
// closes it when the scope ends. A scope inside another shares its file.
class ActionsLogScope {
 public:
  explicit ActionsLogScope(const std::string& scratchDir);
  // The file of the last opening once more (nothing when that one failed).
  struct LastFile {};
  explicit ActionsLogScope(LastFile);
  ~ActionsLogScope();
  ActionsLogScope(const ActionsLogScope&) = delete;
  ActionsLogScope& operator=(const ActionsLogScope&) = delete;

 private:
  bool opened_ = false;
};

// Appends the bytes unchanged and flushes; nothing while no scope is open.
void WriteActionsLog(const std::string& text);
// The full path after the last opening ("" when it failed); it outlives the
// scope.
const std::string& ActionsLogPath();

// The timing log: launcherTiming<timestamp>.log in the actions log's
// directory, open for the life of the scope when `active` and the actions
// log has a path.
class TimingLogScope {
 public:
  TimingLogScope(bool active, const std::string& timestamp);
  ~TimingLogScope();
  TimingLogScope(const TimingLogScope&) = delete;
  TimingLogScope& operator=(const TimingLogScope&) = delete;

 private:
  bool opened_ = false;
};
void WriteTimingLog(const std::string& text);
const std::string& TimingLogPath();

}  // namespace common
