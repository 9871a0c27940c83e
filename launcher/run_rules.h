// The rules that decide the course of a run, apart from the run so that each
// can be tried against its boundary cases.
#pragma once

#include <string>

#include "launcher/options.h"

namespace launcher {

// The largest BOOTSTRAP_SIZE, in megabytes, that a bootstrap accepts.
constexpr int kMaxBootstrapMegabytes = 2047;

// BOOTSTRAP_SIZE in megabytes, read as a decimal number the way the C library
// reads one (leading white space and a sign, digits up to the first other
// character; nothing readable is 0). Values far out of range stay out of it.
long ParseBootstrapSize(const std::string& text);
// 0 to kMaxBootstrapMegabytes, both included.
bool BootstrapSizeInRange(long megabytes);

// Whether the launcher waits for the installer. Without a bootstrap the
// installer runs from the medium, which must stay until it ends: always.
// With one, only when WAIT_FOR_COMPLETION is set (begins with an upper-case
// "T") or the command line holds -WAITFORCOMPLETION, -CLEANUP or
// -SAVEINVENTORY.
bool DecideWait(bool bootstrap, bool waitForCompletion, const Options& options);

// Where the Java runtime of a bootstrap comes from, decided in this order.
enum class RuntimeSource {
  CommandLine,    // -jreLoc: an external runtime, not copied
  Settings,       // JRE_LOCATION or JRE_SCRATCH_LOC: copied (or taken from the scratch directory)
  NobodyToAsk,    // -NOCONSOLE and none known: the run ends
  NotNeeded,      // -BOOTSTRAPONLY and none known: nothing to start
  PromptDisabled, // DISABLE_JRE_PROMPT is exactly "TRUE" and none known: the run ends
  Prompt,         // asked for: an external runtime
};
RuntimeSource DecideRuntimeSource(bool jreLocGiven, bool locationKnown, bool noConsole, bool bootstrapOnly,
                                  bool promptDisabled);

}  // namespace launcher
