// The message catalogue: two maps from message key to UTF-8 template, one in
// the user's language (console, message boxes, prompts) and one in the base
// language (logs), loaded from cons_<ll_CC>.nls, cons_<ll>.nls and cons.nls in
// the resource directory beside the executable.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace messages {

constexpr size_t kBucketCount = 199;
// A record longer than this without a NUL ends here; the rest starts the next.
constexpr size_t kMaxRecordBytes = 1023;
// A larger catalogue file (or anything but a regular file: a FIFO, a device)
// cannot be read, like a missing one. Seventy keys of 1023 bytes fit in a
// fiftieth of it.
constexpr size_t kMaxCatalogueBytes = size_t(4) << 20;

// The bucket of a key: h = h * 61 + c over the key's bytes taken as signed
// chars, modulo 2^32, then h mod 199.
uint32_t HashMessageKey(const std::string& key);

class MessageMap {
 public:
  MessageMap() = default;
  ~MessageMap();
  MessageMap(const MessageMap&) = delete;
  MessageMap& operator=(const MessageMap&) = delete;

  // Adds the entry unless the key is present: the first definition wins.
  // Returns false when the key was present.
  bool Add(const std::string& key, const std::string& text);
  // The text of the key, or nullptr.
  const std::string* Find(const std::string& key) const;
  void Clear();

 private:
  struct Entry {
    std::string key;
    std::string text;
    std::unique_ptr<Entry> next;
  };
  std::array<std::unique_ptr<Entry>, kBucketCount> buckets_;
};

// Passes each record of a catalogue file to `record`, in order, cut as the
// loader cuts them (at a NUL byte, or after kMaxRecordBytes). False when the
// file cannot be opened.
bool ReadCatalogueRecords(const std::string& path, const std::function<void(const std::string&)>& record);

// A record's key (up to its first "=") and text; false for a malformed
// record without "=", which the loader skips.
bool SplitCatalogueRecord(const std::string& record, std::string& key, std::string& text);

// Loads one catalogue file into `map`. Returns false when the file cannot be
// opened. Malformed records are reported on standard error and skipped.
// With `warnings`, the texts of those reports are added to it as well.
bool LoadCatalogueFile(const std::string& path, MessageMap& map, std::string* warnings = nullptr);

// The directory of the running executable followed by "resource".
std::string GetResourceDir();
// The user's locale name, "ll_CC".
std::string GetLocaleName();

// Loads both maps for the running executable and the user's locale.
// 0 on success; 1 after writing the error text to standard error.
int InitMessages();
// The same, from an explicit resource directory and locale name.
int InitMessagesFrom(const std::string& resourceDir, const std::string& localeName);
void FreeMessages();

// Lookups; nullptr when the key is absent (or before InitMessages).
const std::string* GetUserMessage(const std::string& key);
const std::string* GetLogMessage(const std::string& key);

// The lookups as plain text. A key missing from a damaged catalogue yields
// the key itself, so the user still sees which message was meant.
std::string UserText(const std::string& key);
std::string LogText(const std::string& key);

}  // namespace messages
