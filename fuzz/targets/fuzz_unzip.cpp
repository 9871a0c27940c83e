// The archive expander on any bytes: the archive is expanded into a fresh
// destination below a fresh parent, beside a sibling directory that links
// planted in the destination lead into. Nothing may appear beside the
// destination, every link the expansion made must lead to a place inside it
// (or to nothing at all), and once the launcher's own tree deletion has
// removed the destination, the destination is gone and the sibling is as it
// was.
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "bootstrap/tree_ops.h"
#include "fuzz_support.h"
#include "tools/unzip/expand.h"
#include "tools/unzip/os_layer.h"
#include "tools/unzip/path_guard.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(d);
  }
  return names;
}

bool Inside(const std::string& path, const std::string& root) {
  return path == root || path.compare(0, root.size() + 1, root + "/") == 0;
}

// Where `path` leads as far as it exists: the real path of its longest
// existing prefix (a dangling link is judged by where it would point).
std::string ResolvedPrefix(const std::string& path) {
  std::string prefix = path;
  for (;;) {
    char buffer[PATH_MAX];
    if (realpath(prefix.c_str(), buffer)) return buffer;
    size_t slash = prefix.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    prefix.resize(slash);
  }
}

// Links planted in the destination before the expansion, by name and
// target: they lead outside on purpose.
const std::map<std::string, std::string> kPlantedLinks = {
    {"to-sibling", "../sibling"}, {"to-file", "../sibling/file.txt"}};

void CheckLinks(const std::string& root) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink(ec)) continue;
    std::string target = fs::read_symlink(it->path(), ec).string();
    if (ec) continue;
    auto planted = kPlantedLinks.find(it->path().filename().string());
    if (it.depth() == 0 && planted != kPlantedLinks.end() && planted->second == target) continue;
    Check(!target.empty() && target[0] != '/');
    std::string where = ResolvedPrefix(it->path().parent_path().string() + "/" + target);
    if (!Inside(where, root)) {
      dprintf(STDERR_FILENO, "link %s -> %s leads to %s\n", it->path().c_str(), target.c_str(), where.c_str());
      __builtin_trap();
    }
  }
}

// The name checks on the raw input as an entry name, with the rules of
// both systems: what they accept is plain components only, within the
// limits of length and depth.
void CheckNameRules(std::string_view name) {
  for (bool windows : {false, true}) {
    unzip::EntryPath path;
    std::string why;
    if (!unzip::SplitEntryName(name, windows, &path, &why)) continue;
    Check(name.size() <= unzip::kMaxNameBytes && path.parts.size() <= unzip::kMaxNameDepth);
    for (const std::string& part : path.parts) {
      Check(!part.empty() && part != "." && part != "..");
      Check(part.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos);
      if (windows) Check(part.find(':') == std::string::npos && part.back() != '.' && part.back() != ' ');
    }
    // A link there to the name itself: never absolute, never above the root.
    if (unzip::LinkStaysInside(path.parts, name, &why)) {
      Check(!name.empty() && name[0] != '/' && name[0] != '\\');
    }
  }
}

// Every path below `root` with what it is: type, permission bits, and the
// contents of a file or the target of a link.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> found;
  struct stat top;
  if (lstat(root.c_str(), &top) != 0) __builtin_trap();
  found[root] = std::to_string(top.st_mode);
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    struct stat info;
    if (lstat(it->path().c_str(), &info) != 0) __builtin_trap();
    std::ostringstream what;
    what << std::oct << info.st_mode << ' ';
    if (S_ISLNK(info.st_mode)) {
      what << fs::read_symlink(it->path(), ec).string();
    } else if (S_ISREG(info.st_mode)) {
      what << std::ifstream(it->path(), std::ios::binary).rdbuf();
    }
    found[it->path().string()] = what.str();
  }
  if (ec) __builtin_trap();
  return found;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The sibling directory beside the destination and the links into it.
void Plant(const std::string& parent, const std::string& dest) {
  std::string sibling = parent + "/sibling";
  if (mkdir(sibling.c_str(), 0755) != 0 || mkdir((sibling + "/sub").c_str(), 0755) != 0 ||
      mkdir(dest.c_str(), 0755) != 0) {
    __builtin_trap();
  }
  WriteFile(sibling + "/file.txt", "sibling file");
  WriteFile(sibling + "/sub/inner.txt", "inner file");
  for (const auto& [name, target] : kPlantedLinks) {
    if (symlink(target.c_str(), (dest + "/" + name).c_str()) != 0) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The expander tells every entry and failure; the sanitizers and the
  // fuzzer write to the descriptors directly and are not silenced.
  static FILE* null = [] {
    FILE* f = std::fopen("/dev/null", "w");
    stdout = f;
    stderr = f;
    return f;
  }();
  (void)null;

  CheckNameRules(std::string_view(reinterpret_cast<const char*>(data), std::min(size, unzip::kMaxNameBytes + 64)));

  const std::string& area = fuzz_support::ScratchArea();
  std::string archive = fuzz_support::WriteInput("archive.zip", data, size);
  std::string parent = area + "/run";
  if (mkdir(parent.c_str(), 0700) != 0) __builtin_trap();
  std::string dest = parent + "/dest";
  Plant(parent, dest);
  const std::map<std::string, std::string> sibling = Snapshot(parent + "/sibling");

  {
    unzip::DestTree tree;
    std::string error;
    if (!tree.Open(dest, &error)) __builtin_trap();
    // Two threads: the pipeline's ordering is part of what is fuzzed.
    int status = unzip::ExpandArchives({archive}, tree, false, 2);
    Check(status == unzip::kExitOk || status == unzip::kExitIncomplete || status == unzip::kExitDamaged ||
          status == unzip::kExitIo);
  }

  Check(Names(parent) == (std::set<std::string>{"dest", "sibling"}));
  Check(Names(area) == (std::set<std::string>{"archive.zip", "run"}));
  char real[PATH_MAX];
  if (!realpath(dest.c_str(), real)) __builtin_trap();
  CheckLinks(real);

  // The launcher removes the scratch directory with its own tree deletion:
  // whatever the expansion left must go, and nothing outside with it.
  bootstrap::DeleteTree(dest);
  struct stat gone;
  Check(lstat(dest.c_str(), &gone) != 0);
  Check(Names(parent) == std::set<std::string>{"sibling"});
  Check(Snapshot(parent + "/sibling") == sibling);

  std::error_code ec;
  fs::permissions(parent, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(parent, ec);
  if (ec || fs::exists(parent)) __builtin_trap();
  return 0;
}
