#include "common/process_facts.h"

namespace common {

namespace {
ProcessFacts g_facts;
}  // namespace

void SetProcessFacts(const ProcessFacts& facts) { g_facts = facts; }

const ProcessFacts& Facts() { return g_facts; }

}  // namespace common
