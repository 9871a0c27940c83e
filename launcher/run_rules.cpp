#include "launcher/run_rules.h"

namespace launcher {

long ParseBootstrapSize(const std::string& text) {
  size_t i = text.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string::npos) return 0;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 1000000) break;  // far beyond the range; no overflow
  }
  return negative ? -value : value;
}

bool BootstrapSizeInRange(long megabytes) { return megabytes >= 0 && megabytes <= kMaxBootstrapMegabytes; }

bool DecideWait(bool bootstrap, bool waitForCompletion, const Options& options) {
  if (!bootstrap) return true;
  return waitForCompletion || options.waitForCompletion || options.Has(Mode::Cleanup) ||
         options.Has(Mode::SaveInventory);
}

RuntimeSource DecideRuntimeSource(bool jreLocGiven, bool locationKnown, bool noConsole, bool bootstrapOnly,
                                  bool promptDisabled) {
  if (jreLocGiven) return RuntimeSource::CommandLine;
  if (locationKnown) return RuntimeSource::Settings;
  if (noConsole) return RuntimeSource::NobodyToAsk;
  if (bootstrapOnly) return RuntimeSource::NotNeeded;
  if (promptDisabled) return RuntimeSource::PromptDisabled;
  return RuntimeSource::Prompt;
}

}  // namespace launcher
