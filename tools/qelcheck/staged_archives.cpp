#include "tools/qelcheck/staged_archives.h"

#include <algorithm>

#include "common/paths.h"
#include "platform/platform.h"
#include "tools/unzip/archive_pattern.h"
#include "tools/unzip/os_layer.h"
#include "tools/unzip/path_guard.h"
#include "tools/unzip/zip_reader.h"

namespace qelcheck {

namespace {

// The pattern the launcher hands the unzip tool.
const char* const kArchivePattern = "*.jar";
// "Made by" Unix: the high half of the external attributes is a Unix mode.
constexpr uint8_t kUnixHost = 3;
constexpr unsigned kTypeMask = 0170000;
constexpr unsigned kTypeLink = 0120000;
// Link targets longer than the tool takes are refused by it anyway.
constexpr size_t kMaxLinkTarget = 4096;

std::string Key(const std::string& host) {
  if (std::optional<platform::DirIdentity> id = platform::DirectoryIdentity(host)) {
    return "id:" + std::to_string(id->volume) + ":" + std::to_string(id->file);
  }
  return "path:" + host;
}

}  // namespace

const DataDir& StagedArchives::Read(const std::string& dir) { return ReadDir(dir); }

DataDir& StagedArchives::ReadDir(const std::string& dir) {
  const std::string host = medium_.Host(dir).value_or(dir);
  const std::string key = Key(host);
  auto found = read_.find(key);
  if (found != read_.end()) return found->second;
  DataDir& out = read_[key];
  if (!platform::IsDirectory(host)) return out;
  out.exists = true;

  std::vector<std::string> names;
  std::string error;
  if (!unzip::ListNames(host, &names, &error)) {
    Fault(out, dir, "cannot be listed: " + error);
    return out;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (unzip::MatchWildcard(kArchivePattern, name, medium_.windows())) {
      out.archives.push_back(name);
    } else if (unzip::MatchWildcard(kArchivePattern, name, true)) {
      findings_.Warning(medium_.Join(dir, name), "not expanded: the unzip tool matches *.jar in this letter case only");
    }
  }
  if (out.archives.empty()) {
    Fault(out, dir, "holds no jar archive: the unzip tool finds nothing to expand here");
  }
  for (const std::string& name : out.archives) CheckArchive(medium_.Join(dir, name), common::AppendPath(host, name), out);
  return out;
}

const DataDir& StagedArchives::Use(const std::string& dir, bool needed) {
  DataDir& data = ReadDir(dir);
  const DataDir::Use use = needed ? DataDir::Use::Needed : DataDir::Use::Optional;
  if (data.use < use) data.use = use;
  return data;
}

void StagedArchives::Settle() {
  for (auto& [key, data] : read_) {
    if (data.use == DataDir::Use::Needed) continue;
    const char* why = data.use == DataDir::Use::Optional
                          ? "; the launcher passes over a failed expansion of the installer core"
                          : "; the launcher does not expand this directory (whether the installer reads it "
                            "depends on what is installed)";
    for (size_t index : data.errors) findings_.Demote(index, why);
  }
}

void StagedArchives::Fault(DataDir& out, const std::string& file, const std::string& text) {
  out.errors.push_back(findings_.size());
  findings_.Error(file, text);
}

void StagedArchives::CheckArchive(const std::string& archive, const std::string& host, DataDir& out) {
  unzip::ZipArchive zip;
  std::string error;
  if (zip.Open(host, &error) != unzip::DataResult::kOk) {
    Fault(out, archive, error);
    return;
  }
  const bool unixModes = !medium_.windows();
  unzip::EntryReader reader;
  for (const unzip::ZipEntry& entry : zip.entries()) {
    const std::string& name = entry.name;
    if (entry.overlaps) {
      Fault(out, archive, name + ": overlaps another entry: the unzip tool takes the archive for damaged");
      continue;
    }
    unzip::EntryPath path;
    std::string why;
    if (!unzip::SplitEntryName(name, medium_.windows(), &path, &why)) {
      Fault(out, archive, name + ": the unzip tool refuses it: " + why);
      continue;
    }
    if (path.parts.empty() && (!path.isDir || entry.size > 0)) {
      Fault(out, archive, name + ": the unzip tool refuses it: a file entry whose name names no file");
      continue;
    }
    if (path.isDir) {
      // The tool makes a directory and reads no data for it.
      if (!path.parts.empty()) out.entries.push_back({path.parts, true, std::nullopt});
      continue;
    }
    const std::optional<unsigned> mode =
        entry.hostSystem == kUnixHost ? std::optional<unsigned>(entry.externalAttributes >> 16) : std::nullopt;
    // Only Linux makes links; Windows writes the target as a file's text.
    const bool link = unixModes && mode && (*mode & kTypeMask) == kTypeLink;
    if (link && entry.size > kMaxLinkTarget) {
      Fault(out, archive, name + ": the unzip tool refuses it: link target too long");
      continue;
    }
    std::string data;
    const unzip::DataResult result = reader.ReadEntry(
        zip, entry,
        [&](const char* bytes, size_t length) {
          if (link) data.append(bytes, length);
          return true;
        },
        &error);
    if (result != unzip::DataResult::kOk) {
      Fault(out, archive, name + ": " + error);
      continue;
    }
    if (link && !unzip::LinkStaysInside(path.parts, data, &why)) {
      Fault(out, archive, name + ": the unzip tool refuses it: " + why);
      continue;
    }
    out.entries.push_back({path.parts, false, mode});
  }
}

}  // namespace qelcheck
