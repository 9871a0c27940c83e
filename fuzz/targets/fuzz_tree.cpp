// The tree walks on small trees built from the input: directories, files,
// links to files and directories, to "." and "..", dangling ones, links
// that lead outside, cycles, links already standing in the destination, and
// chains deeper than the directories a walk holds open (it climbs back
// through "..").
// Copy, count and delete must end; the copy must hold what the source holds
// (links to directories made again, links to files as files); and nothing
// beside the destination may change: not the source, not an "outside" tree
// the links lead to.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bootstrap/tree_ops.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every entry below `root`, links never followed: "d name", "f name data" or
// "l name -> target". With `resolved`, a link is shown as what a copy
// should make of it: a link to a file as the file it leads to.
std::string Snapshot(const fs::path& root, bool resolved) {
  std::vector<std::string> lines;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path& path = it->path();
    const std::string name = path.lexically_relative(root).string();
    struct stat st;
    Check(lstat(path.c_str(), &st) == 0);
    if (S_ISDIR(st.st_mode)) {
      lines.push_back("d " + name);
    } else if (S_ISLNK(st.st_mode)) {
      struct stat target;
      if (resolved && stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode)) {
        lines.push_back("f " + name + " " + Read(path));
      } else {
        lines.push_back("l " + name + " -> " + fs::read_symlink(path).string());
      }
    } else {
      lines.push_back("f " + name + " " + Read(path));
    }
  }
  Check(!ec);
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Files as the walks count them: every line of a resolved snapshot that is
// not a directory or a link to one.
int64_t ExpectedCount(const std::string& resolved, const fs::path& root) {
  int64_t count = 0;
  std::istringstream lines(resolved);
  for (std::string line; std::getline(lines, line);) {
    if (line[0] == 'f') ++count;
    if (line[0] == 'l') {
      const std::string name = line.substr(2, line.find(" -> ") - 2);
      if (!fs::is_directory(root / name)) ++count;  // dangling
    }
  }
  return count;
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

// Names that collide, and names that would be something else where a code
// page or another system's separator reads them.
const char* const kNames[] = {"a", "b", "c", "d", "..\\x", "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC", "\xE6\x97\xA5"};
constexpr size_t kMaxOps = 32;
constexpr int kChain = 12;  // beyond the directories a walk keeps open

class TreeBuilder {
 public:
  explicit TreeBuilder(const fs::path& run) : src_(run / "src"), dst_(run / "dst"), outside_(run / "outside") {
    fs::create_directories(src_);
    fs::create_directories(outside_ / "dir");
    std::ofstream(outside_ / "file") << "outside";
    dirs_.push_back(src_);
  }

  // One op from three bytes: what to make, in which directory, its name.
  void Apply(uint8_t op, uint8_t where, uint8_t name) {
    const fs::path dir = dirs_[where % dirs_.size()];
    const fs::path path = dir / kNames[name % std::size(kNames)];
    if (op % 12 == 10) return LinkInDestination(path, where);
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() != fs::file_type::not_found) return;
    switch (op % 12) {
      case 0:
        fs::create_directory(path);
        dirs_.push_back(path);
        break;
      case 1:
        std::ofstream(path) << path.filename().string() << files_.size();
        files_.push_back(path);
        break;
      case 2:
        Link(files_.empty() ? fs::path("nowhere") : files_[where % files_.size()], path);
        break;
      case 3:
        Link(dirs_[name % dirs_.size()], path);  // maybe an ancestor: a cycle
        break;
      case 4:
        Link(".", path);
        break;
      case 5:
        Link("..", path);
        break;
      case 6:
        Link("missing/target", path);
        break;
      case 7:
        Link(outside_ / "dir", path);
        break;
      case 8:
        Link(outside_ / "file", path);
        break;
      case 11:
        Chain(path);
        break;
      default:
        Link("../..", path);
        break;
    }
  }

  const fs::path& src() const { return src_; }
  const fs::path& dst() const { return dst_; }
  const fs::path& outside() const { return outside_; }
  bool destinationFresh() const { return !fs::exists(dst_); }

 private:
  void Link(const fs::path& target, const fs::path& path) { fs::create_symlink(target, path); }

  // kChain directories of one name, a file at the bottom; each may hold more.
  void Chain(fs::path path) {
    const fs::path name = path.filename();
    for (int level = 0; level < kChain; ++level, path /= name) {
      fs::create_directory(path);
      dirs_.push_back(path);
    }
    std::ofstream(path.parent_path() / "bottom") << "bottom" << files_.size();
    files_.push_back(path.parent_path() / "bottom");
  }

  // A link to the outside already standing in the destination where the
  // copy of `path` (or its directory) goes.
  void LinkInDestination(const fs::path& path, uint8_t where) {
    fs::path copy = dst_;
    std::error_code ec;
    for (const fs::path& part : path.lexically_relative(src_)) {
      // Never below a link made before: that would build in the outside.
      if (fs::is_symlink(copy, ec)) return;
      fs::create_directory(copy);
      copy /= part;
    }
    if (fs::symlink_status(copy, ec).type() != fs::file_type::not_found) return;
    fs::create_symlink(where % 2 ? outside_ / "dir" : outside_ / "file", copy);
  }

  fs::path src_, dst_, outside_;
  std::vector<fs::path> dirs_;
  std::vector<fs::path> files_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path run = fuzz_support::ScratchArea() + "/run";
  fs::remove_all(run);
  fs::create_directories(run);
  TreeBuilder tree(run);
  for (size_t i = 0; i + 2 < size && i / 3 < kMaxOps; i += 3) tree.Apply(data[i], data[i + 1], data[i + 2]);

  const bool fresh = tree.destinationFresh();
  const std::string source = Snapshot(tree.src(), false);
  const std::string resolved = Snapshot(tree.src(), true);
  const std::string outside = Snapshot(tree.outside(), false);

  // One thread or several, chosen by the input's length so the ops stay as they are.
  static const char* const kThreads[] = {"8", "1", "2"};
  setenv("QEL_COPY_THREADS", kThreads[size % 3], 1);
  const int copied = bootstrap::CopyTree(tree.src().string(), tree.dst().string());
  Check(copied == 0 || (copied == -1 && !fresh));
  if (fresh) Check(Snapshot(tree.dst(), false) == resolved);
  Check(bootstrap::CountTreeFiles(tree.src().string()) == ExpectedCount(resolved, tree.src()));
  Check(Snapshot(tree.src(), false) == source);
  Check(Snapshot(tree.outside(), false) == outside);
  Check(Names(run) == (std::set<std::string>{"src", "dst", "outside"}));

  bootstrap::DeleteTree(tree.dst().string());
  std::error_code ec;
  Check(fs::symlink_status(tree.dst(), ec).type() == fs::file_type::not_found);
  Check(Snapshot(tree.src(), false) == source);
  Check(Snapshot(tree.outside(), false) == outside);
  fs::remove_all(run);
  return 0;
}

#ifdef QEL_FUZZ_REPLAY
// Without libFuzzer (the ThreadSanitizer build): each file named is one input.
int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string input = Read(argv[i]);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
  return 0;
}
#endif
