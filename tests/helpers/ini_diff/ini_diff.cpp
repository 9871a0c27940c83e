// Runs the same profile-file queries through the system's
// GetPrivateProfileStringA and through the shared INI reader of the Linux
// build, and reports every answer on which the two differ.
//
//   ini_diff CORPUS_DIR
//       every file of the directory, with queries derived from its text;
//       exit status 1 when any answer differs, 2 on a usage error.
//   ini_diff --query FILE SECTION KEY DEFAULT MAXCHARS
//       one query, both answers printed (for exploring the system's rules).
//
// A path given in Unix form ("/tmp/x") is taken as Wine's Z: drive.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/ini_reader.h"

namespace {

std::string NativePath(std::string path) {
  if (!path.empty() && path[0] == '/') {
    std::replace(path.begin(), path.end(), '/', '\\');
    path = "Z:" + path;
  }
  return path;
}

std::string SystemAnswer(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& defaultValue,
                         size_t maxChars) {
  // A filled buffer shows a terminator that the call failed to write.
  std::vector<char> buffer(maxChars + 1, '#');
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(buffer.size()),
                                     path.c_str());
  if (n > maxChars) return "<length " + std::to_string(n) + " beyond the buffer>";
  std::string text(buffer.data(), n);
  if (buffer[n] != '\0') text += "<unterminated>";
  return text;
}

// Printable form: control and high bytes as \xNN, long texts shortened.
std::string Show(const std::string& text) {
  std::string shown;
  auto put = [&shown](unsigned char c) {
    char hex[8];
    if (c == '\\') {
      shown += "\\\\";
    } else if (c < 0x20 || c >= 0x7f) {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += hex;
    } else {
      shown += char(c);
    }
  };
  if (text.size() <= 120) {
    for (unsigned char c : text) put(c);
  } else {
    for (size_t i = 0; i < 50; ++i) put(static_cast<unsigned char>(text[i]));
    shown += "...(" + std::to_string(text.size()) + " chars)...";
    for (size_t i = text.size() - 50; i < text.size(); ++i) put(static_cast<unsigned char>(text[i]));
  }
  return "\"" + shown + "\"";
}

struct Query {
  std::string section, key, defaultValue;
  size_t maxChars;
};

// The file's text as single bytes, for finding names: a UTF-16 file keeps
// one byte per character (enough for ASCII names), a UTF-8 mark is dropped.
std::string NameText(const std::string& bytes) {
  if (bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 ||
                            bytes.compare(0, 2, "\xFE\xFF") == 0)) {
    size_t low = bytes[0] == '\xFF' ? 0 : 1;
    std::string text;
    for (size_t i = 2 + low; i < bytes.size(); i += 2) text += bytes[i];
    return text;
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return bytes;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n\v\f\x1a";
  size_t start = text.find_first_not_of(blanks);
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

std::string CutAtNul(const std::string& text) { return text.substr(0, text.find('\0')); }

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
  return text;
}
std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
  return text;
}

constexpr size_t kMaxNames = 40;
// The system refuses names of 32767 characters and more.
constexpr size_t kMaxNameChars = 4096;
const char* const kDefaults[] = {"dflt", "", "d  ", "   ", "\"quoted\"", "'q'", "\"", " lead"};
const size_t kSizes[] = {0, 1, 2, 3, 5, 11, 31, 1022, 1023, 1024, 1500, 4096};

void AddName(std::vector<std::string>& names, const std::string& name) {
  std::string cut = CutAtNul(name);
  if (cut.size() > kMaxNameChars) return;
  if (names.size() < kMaxNames && std::find(names.begin(), names.end(), cut) == names.end()) {
    names.push_back(cut);
  }
}

// Queries for one file: every section and key name seen (as written and
// trimmed) in several letter cases and with blanks around, absent names,
// then defaults and buffer sizes for the pairs the file holds.
std::vector<Query> QueriesFor(const std::string& bytes) {
  std::string text = NameText(bytes);
  std::vector<std::string> sections, keys;
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string current;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    size_t close = line.rfind(']');
    if (line[0] == '[' && close != std::string::npos) {
      current = line.substr(1, close - 1);
      AddName(sections, current);
      AddName(sections, Trim(current));
      continue;
    }
    std::string name = line.substr(0, line.find('='));
    AddName(keys, name);
    AddName(keys, Trim(name));
    std::string section = CutAtNul(Trim(current)), key = CutAtNul(Trim(name));
    if (pairs.size() < 2 * kMaxNames && section.size() <= kMaxNameChars && key.size() <= kMaxNameChars) {
      pairs.emplace_back(section, key);
    }
  }

  std::vector<std::string> sectionForms = {"no_such_section", ""};
  for (const std::string& s : sections) {
    for (const std::string& form : {s, Upper(s), Lower(s), " " + s + "\t"}) sectionForms.push_back(form);
  }
  std::vector<std::string> keyForms = {"no_such_key", " ", ""};
  for (const std::string& k : keys) {
    for (const std::string& form : {k, Upper(k), Lower(k), "  " + k + " "}) keyForms.push_back(form);
  }

  std::vector<Query> queries;
  for (const std::string& s : sectionForms) {
    for (const std::string& k : keyForms) queries.push_back({s, k, "dflt", 1023});
  }
  for (const auto& [s, k] : pairs) {
    for (const char* d : kDefaults) queries.push_back({s, k, d, 1023});
    for (size_t size : kSizes) queries.push_back({s, k, "dflt", size});
    queries.push_back({s, "no_such_key", "\"quoted default\"", 5});
  }
  return queries;
}

// Queries for a path that is not a readable file: only defaults matter.
std::vector<Query> DefaultQueries() {
  std::vector<Query> queries;
  for (const char* d : kDefaults) {
    for (size_t size : {size_t(0), size_t(3), size_t(1023)}) queries.push_back({"Quelta", "KEY", d, size});
  }
  return queries;
}

struct Totals {
  size_t files = 0, queries = 0, differences = 0;
};

void Compare(const std::string& label, const std::string& path, const std::vector<Query>& queries,
             Totals& totals) {
  size_t before = totals.differences;
  for (const Query& q : queries) {
    std::string system = SystemAnswer(path, q.section, q.key, q.defaultValue, q.maxChars);
    std::string ours = platform::IniReadFileString(path, q.section, q.key, q.defaultValue, q.maxChars);
    ++totals.queries;
    if (system == ours) continue;
    ++totals.differences;
    std::printf("DIFF %s: [%s] %s default %s max %zu\n  system %s\n  reader %s\n", label.c_str(),
                Show(q.section).c_str(), Show(q.key).c_str(), Show(q.defaultValue).c_str(),
                q.maxChars, Show(system).c_str(), Show(ours).c_str());
  }
  ++totals.files;
  std::printf("%-32s %6zu queries, %zu differences\n", label.c_str(), queries.size(),
              totals.differences - before);
}

int RunCorpus(const std::string& dir) {
  auto entries = platform::ListDirectory(dir);
  if (!entries) {
    std::fprintf(stderr, "ini_diff: cannot list %s\n", dir.c_str());
    return 2;
  }
  std::vector<std::string> names;
  for (const auto& entry : *entries) {
    if (!entry.isDirectory) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) {
    std::fprintf(stderr, "ini_diff: no files in %s\n", dir.c_str());
    return 2;
  }

  Totals totals;
  for (const std::string& name : names) {
    std::string path = dir + "\\" + name;
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Compare(name, path, QueriesFor(bytes), totals);
  }
  // Paths that are no readable file: all take the default.
  Compare("<directory>", dir, DefaultQueries(), totals);
  Compare("<missing file>", dir + "\\no_such_file.ini", DefaultQueries(), totals);
  Compare("<missing directory>", dir + "\\no_such_dir\\x.ini", DefaultQueries(), totals);

  std::printf("%zu files, %zu queries, %zu differences\n", totals.files, totals.queries,
              totals.differences);
  return totals.differences == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::string(argv[1]) == "--query") {
    std::string path = NativePath(argv[2]);
    size_t maxChars = std::stoul(argv[6]);
    std::printf("system %s\nreader %s\n",
                Show(SystemAnswer(path, argv[3], argv[4], argv[5], maxChars)).c_str(),
                Show(platform::IniReadFileString(path, argv[3], argv[4], argv[5], maxChars)).c_str());
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: ini_diff CORPUS_DIR\n"
                         "       ini_diff --query FILE SECTION KEY DEFAULT MAXCHARS\n");
    return 2;
  }
  std::string dir = NativePath(argv[1]);
  while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  return RunCorpus(dir);
}
