// The prerequisite file: the line reader and tokenizer on any text, then a
// whole prerequisite run over it as the parameter file (generic, required and
// optional passes, the certified list and every resource check), with the
// system facts faked. The first byte chooses the run's flags and facts.

#include <string>

#include "common/actions_log.h"
#include "common/process_facts.h"
#include "messages/catalogue.h"
#include "platform/platform.h"
#include "prereq/certified_versions.h"
#include "prereq/prereq_reader.h"
#include "prereq/prereq_run.h"
#include "prereq/resource_checks.h"
#include "fuzz_support.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// A token is trimmed unless it is all blanks.
void CheckTrimmed(const std::string& token) {
  if (token.empty() || token.find_first_not_of(" \t\n\v\f\r") == std::string::npos) return;
  Check(!IsSpace(token.front()) && !IsSpace(token.back()));
}

void ScanText(const std::string& text) {
  prereq::PrereqText in(text);
  std::string line;
  for (;;) {
    int status = prereq::ReadPrereqLine(in, line);
    Check(line.size() <= prereq::kMaxPrereqLineChars);
    std::string copy = line;
    if (std::optional<std::string> header = prereq::GetSectionHeader(copy)) {
      Check(!header->empty() && header->front() == '[' && header->find(']') != std::string::npos);
    }
    prereq::PrereqTokenizer scan;
    std::string key, value;
    if (prereq::NextPrereqToken(scan, &line, key, prereq::TokenMode::Key) == 0) {
      CheckTrimmed(key);
      prereq::NextPrereqToken(scan, nullptr, value, prereq::TokenMode::Value);
      CheckTrimmed(value);
    }
    Check(prereq::FormatChoiceList(line).size() <= 1023);
    size_t start = 0;
    while (start < line.size()) {
      size_t comma = line.find(',', start);
      if (comma == std::string::npos) comma = line.size();
      if (comma > start) Check(prereq::IsInList(line, line.substr(start, comma - start)) == 1);
      start = comma + 1;
    }
    if (status != 0) break;
  }
  prereq::SumPagingFileMaxima(text);
}

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("QEL_REGISTRY_ROOT", (fuzz_support::ScratchArea() + "/registry").c_str(), 1);
  if (messages::InitMessagesFrom(QEL_BINARY_DIR "/resource", "en_US") != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Setup();
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  ScanText(text);

  common::SetProcessFacts({});
  common::SetActionsLogTarget({"", "installActionsTS.log"});
  auto& o = platform::TestOverrides();
  o.stdoutSink = [](const std::string&) {};
  o.stderrSink = [](const std::string&) {};
  o.messageBox = [](const std::string&, const std::string&) {};
  o.stdinData = std::string(flags & 0x40 ? "x\ny\n" : "");
  auto& facts = platform::TestOverrides().sysInfo;
  facts = {};
  facts.osVersion = flags & 0x20 ? platform::OsVersion{4, 0, "Service Pack 6"} : platform::OsVersion{6, 1, ""};
  facts.machineKeys = std::vector<std::string>{prereq::kHotfixQ246009Key};
  facts.displayColorBits = flags & 0x80 ? 48 : 8;
  facts.processorMhz = std::optional<uint32_t>(flags & 0x80 ? 0 : 2000);
  facts.pagingFiles = platform::PagingFilesFact{platform::kRegOk, text.substr(0, 2048)};
  facts.availablePageFileBytes = 1 << 30;

  std::string param = fuzz_support::WriteInput("qelparam.ini", data + 1, size - 1);
  std::string logDir = fuzz_support::ScratchArea() + "/";
  const prereq::PrereqOutcome outcome =
      prereq::RunPrereqs({param, logDir, (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0, (flags & 8) != 0,
                          (flags & 0x10) != 0});
  Check(outcome == prereq::PrereqOutcome::GoOn || outcome == prereq::PrereqOutcome::Stop);
  std::string value = prereq::GetPrereqValue(prereq::kGenericSection, "CPU", "d", param);
  Check(!value.empty() && value.size() <= prereq::kMaxPrereqLineChars);
  std::remove((logDir + "installActionsTS.log").c_str());
  return 0;
}
