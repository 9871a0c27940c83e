#include "messages/catalogue.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "messages/console.h"
#include "messages/format.h"
#include "platform/platform.h"

namespace messages {

namespace {

std::unique_ptr<MessageMap> g_userMessages;
// The log's table: its own when the user's language has a catalogue of its
// own, else the user's table, which then holds exactly the base catalogue.
std::unique_ptr<MessageMap> g_ownLogMessages;
const MessageMap* g_logMessages = nullptr;

void AddRecord(const std::string& record, MessageMap& map, std::string* warnings) {
  std::string key, text;
  if (!SplitCatalogueRecord(record, key, text)) {
    const std::string warning =
        FormatText("WARNING: Ignoring malformed message \"%s\" in catalogue!\n", {record});
    platform::WriteStderr(warning);
    if (warnings) *warnings += warning;
    return;
  }
  map.Add(key, text);
}

}  // namespace

bool SplitCatalogueRecord(const std::string& record, std::string& key, std::string& text) {
  size_t eq = record.find('=');
  if (eq == std::string::npos) return false;
  key = record.substr(0, eq);
  text = record.substr(eq + 1);
  return true;
}

uint32_t HashMessageKey(const std::string& key) {
  uint32_t h = 0;
  for (char c : key) h = h * 61u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return h % kBucketCount;
}

MessageMap::~MessageMap() { Clear(); }

void MessageMap::Clear() {
  // Unlink iteratively: a long chain must not recurse through destructors.
  for (auto& head : buckets_) {
    while (head) head = std::move(head->next);
  }
}

bool MessageMap::Add(const std::string& key, const std::string& text) {
  if (Find(key)) return false;
  auto entry = std::make_unique<Entry>();
  entry->key = key;
  entry->text = text;
  auto& head = buckets_[HashMessageKey(key)];
  entry->next = std::move(head);
  head = std::move(entry);
  return true;
}

const std::string* MessageMap::Find(const std::string& key) const {
  for (const Entry* e = buckets_[HashMessageKey(key)].get(); e; e = e->next.get()) {
    if (e->key == key) return &e->text;
  }
  return nullptr;
}

bool ReadCatalogueRecords(const std::string& path, const std::function<void(const std::string&)>& record) {
  std::optional<std::string> bytes = platform::ReadRegularFile(path, kMaxCatalogueBytes);
  if (!bytes) return false;
  const std::string& all = *bytes;
  size_t start = 0;
  while (start < all.size()) {
    // Up to the end of the record, or to the record limit, whichever is first.
    const size_t limit = std::min(all.size(), start + kMaxRecordBytes);
    const void* nul = std::memchr(all.data() + start, 0, limit - start);
    if (nul) {
      const size_t end = static_cast<size_t>(static_cast<const char*>(nul) - all.data());
      record(all.substr(start, end - start));
      start = end + 1;
    } else if (limit - start == kMaxRecordBytes) {
      record(all.substr(start, kMaxRecordBytes));
      start = limit;
    } else {
      break;  // a record without its end is dropped
    }
  }
  return true;
}

bool LoadCatalogueFile(const std::string& path, MessageMap& map, std::string* warnings) {
  return ReadCatalogueRecords(path,
                              [&](const std::string& record) { AddRecord(record, map, warnings); });
}

std::string GetResourceDir() {
  std::string module = platform::ModuleFileName();
  size_t cut = module.rfind(platform::kPathSep);
  std::string dir = cut == std::string::npos ? std::string(".") : module.substr(0, cut);
  return dir + platform::kPathSep + "resource";
}

std::string GetLocaleName() { return platform::UserLocaleName(); }

int InitMessages() { return InitMessagesFrom(GetResourceDir(), GetLocaleName()); }

int InitMessagesFrom(const std::string& resourceDir, const std::string& localeName) {
  g_userMessages.reset(new (std::nothrow) MessageMap());
  g_ownLogMessages.reset();
  g_logMessages = nullptr;
  if (!g_userMessages) {
    platform::WriteStderr("\nERROR: Could not allocate memory for the NLS messages map!\n");
    return 1;
  }
  const std::string base = resourceDir + platform::kPathSep + "cons";
  size_t cut = localeName.rfind('_');
  std::string language = cut == std::string::npos ? localeName : localeName.substr(0, cut);

  bool ownLanguage = false;
  for (const std::string& file : {base + "_" + localeName + ".nls", base + "_" + language + ".nls"}) {
    ownLanguage = LoadCatalogueFile(file, *g_userMessages) || ownLanguage;
  }
  // Without a catalogue of the user's language both tables hold the base
  // catalogue alone: it is read once (every start reads it), its warnings
  // told once for each table as before.
  std::string warnings;
  const bool baseOpened = LoadCatalogueFile(base + ".nls", *g_userMessages, &warnings);
  if (ownLanguage) {
    g_ownLogMessages.reset(new (std::nothrow) MessageMap());
    if (!g_ownLogMessages) {
      platform::WriteStderr("\nERROR: Could not allocate memory for the NLS messages map!\n");
      return 1;
    }
    LoadCatalogueFile(base + ".nls", *g_ownLogMessages);
    g_logMessages = g_ownLogMessages.get();
  } else {
    if (!warnings.empty()) platform::WriteStderr(warnings);
    g_logMessages = g_userMessages.get();
  }
  if (!ownLanguage && !baseOpened) {
    platform::WriteStderr("\nERROR: Could not read any NLS message catalogue!\n");
    return 1;
  }
  RefreshConsoleHandle();
  return 0;
}

void FreeMessages() {
  g_logMessages = nullptr;
  g_ownLogMessages.reset();
  g_userMessages.reset();
  ForgetConsoleHandle();
}

const std::string* GetUserMessage(const std::string& key) {
  return g_userMessages ? g_userMessages->Find(key) : nullptr;
}

const std::string* GetLogMessage(const std::string& key) {
  return g_logMessages ? g_logMessages->Find(key) : nullptr;
}

std::string UserText(const std::string& key) {
  const std::string* text = GetUserMessage(key);
  return text ? *text : key;
}

std::string LogText(const std::string& key) {
  const std::string* text = GetLogMessage(key);
  return text ? *text : key;
}

}  // namespace messages
