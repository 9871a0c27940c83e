#include "tools/qelcheck/medium.h"

#include <algorithm>

#include "common/paths.h"
#include "platform/platform.h"

namespace qelcheck {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

Medium::Medium(std::string installDir, MediumKind kind) : installDir_(std::move(installDir)), kind_(kind) {}

std::string Medium::Program(const std::string& name) const { return windows() ? name + ".exe" : name; }

std::vector<std::string> Medium::JavaPrograms() const {
  if (windows()) return {"java.exe", "javaw.exe"};
  return {"java"};
}

std::string Medium::FamilyName() const { return windows() ? "Windows" : "Linux"; }

std::string Medium::Join(const std::vector<std::string>& parts) const {
  std::string path;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!path.empty() && path.back() != sep()) path += sep();
    path += part;
  }
  return path;
}

bool Medium::IsAbsolute(const std::string& path) const {
  if (path.empty()) return false;
  if (!windows()) return path.front() == kLinuxPathSep;
  if (path.front() == kWindowsPathSep || path.front() == kLinuxPathSep) return true;
  return path.size() >= 2 && IsLetter(path[0]) && path[1] == ':';
}

std::optional<std::string> Medium::Host(const std::string& path) const {
  if (IsAbsolute(path)) return std::nullopt;
  std::string host = path;
  // Windows takes either separator; a Windows medium's "\" means nothing to
  // Linux.
  if (windows()) std::replace(host.begin(), host.end(), kWindowsPathSep, platform::kPathSep);
  if (host.empty()) return installDir_;
  return common::AppendPath(installDir_, host);
}

std::optional<std::string> Medium::StageArea() const {
  for (const std::string& stage : {Join({"..", "stage", "Components"}), Join({"..", "..", "stage", "Components"})}) {
    if (platform::IsDirectory(*Host(stage))) return stage;
  }
  return std::nullopt;
}

std::optional<MediumKind> KindFromLauncher(const std::string& installDir) {
  const bool windows = platform::PathExists(common::AppendPath(installDir, "setup.exe"));
  const bool posix = platform::PathExists(common::AppendPath(installDir, "setup"));
  if (windows == posix) return std::nullopt;
  return windows ? MediumKind::Windows : MediumKind::Linux;
}

MediumKind HostKind() { return platform::kPathSep == kWindowsPathSep ? MediumKind::Windows : MediumKind::Linux; }

}  // namespace qelcheck
