// The medium under check: where its launcher lies, which system it is made
// for, and how the paths it holds are named.
//
// Paths of the medium are kept as the medium writes them: relative to the
// launcher's directory and with the separator of the medium's system
// (`..\stage\Components` on a Windows medium), which is also how the checker
// names them in its findings. Host() turns them into paths of the machine the
// checker runs on, so that a Windows medium can be checked on Linux and a
// Linux one under Windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qelcheck {

enum class MediumKind { Windows, Linux };

// The separators of the two systems' paths.
inline constexpr char kWindowsPathSep = '\\';
inline constexpr char kLinuxPathSep = '/';

class Medium {
 public:
  Medium(std::string installDir, MediumKind kind);

  MediumKind kind() const { return kind_; }
  bool windows() const { return kind_ == MediumKind::Windows; }
  const std::string& installDir() const { return installDir_; }
  char sep() const { return windows() ? kWindowsPathSep : kLinuxPathSep; }

  // A program's file name on the medium's system: "setup.exe" or "setup".
  std::string Program(const std::string& name) const;
  // The Java programs a runtime of the medium's system must hold in bin.
  std::vector<std::string> JavaPrograms() const;
  // The name the prerequisite sections use for the system ("Windows").
  std::string FamilyName() const;

  // Parts joined with the medium's separator.
  std::string Join(const std::vector<std::string>& parts) const;
  std::string Join(const std::string& dir, const std::string& part) const { return Join({dir, part}); }
  // Absolute by the rules of the medium's system: a drive or a leading
  // separator on Windows, a leading "/" on Linux.
  bool IsAbsolute(const std::string& path) const;
  // The machine's path of `path`, a medium path relative to the launcher's
  // directory; nullopt for an absolute one that names a place on the
  // machine that installs, not on the medium.
  std::optional<std::string> Host(const std::string& path) const;

  // The staged component area as the launcher finds it from its directory:
  // ../stage/Components, else ../../stage/Components. nullopt when neither
  // is a directory.
  std::optional<std::string> StageArea() const;

 private:
  std::string installDir_;
  MediumKind kind_;
};

// The system a medium is made for, from the launcher it holds: setup.exe
// alone makes a Windows medium, setup alone a Linux one; nullopt for both or
// neither.
std::optional<MediumKind> KindFromLauncher(const std::string& installDir);
// The system the checker itself runs on.
MediumKind HostKind();

}  // namespace qelcheck
