#include "linux_layout_memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace pelmode {
namespace {

// Owned descriptor.
class File {
 public:
  explicit File(int fd) : fd_(fd) {}
  ~File() {
    if (fd_ >= 0) close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Pelmode's folder in the runtime folder; empty without XDG_RUNTIME_DIR.
std::string FolderPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime != '/') return {};
  return std::string(runtime) + "/pelmode";
}

// Whether the folder is the user's own, made if missing.
bool MakePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid();
}

std::string PathOf(const std::string& folder, const std::string& display) {
  std::string name = "layout-";
  for (const char c : display) name += c == '/' ? '_' : c;
  return folder + "/" + name;
}

}  // namespace

// Only a file of the user's own is read: nobody else can make one, in
// whatever folder.
LayoutMemoryFile::LayoutMemoryFile(const std::string& display) {
  const std::string folder = FolderPath();
  if (folder.empty()) return;
  path_ = PathOf(folder, display);
  const File file(open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_uid != getuid()) {
    return;
  }
  char buffer[4096];
  ssize_t got = 0;
  // A regular file reads short only at its end.
  do {
    got = read(file.get(), buffer, sizeof buffer);
    if (got > 0) content_.append(buffer, std::size_t(got));
  } while (got == ssize_t(sizeof buffer) && content_.size() < (1 << 20));
  if (got < 0) content_.clear();
}

// The folder is the user's own (checked), so a temporary file left behind is
// simply truncated; the rename keeps a reader from finding a half-written one.
void LayoutMemoryFile::Replace(const std::string& memory) {
  if (path_.empty() || memory == content_ || !MakePrivateFolder(FolderPath())) return;
  const std::string temporary = path_ + ".new";
  const File file(
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (file.get() < 0) return;
  if (write(file.get(), memory.data(), memory.size()) == ssize_t(memory.size()) &&
      rename(temporary.c_str(), path_.c_str()) == 0) {
    content_ = memory;
  } else {
    unlink(temporary.c_str());
  }
}

}  // namespace pelmode
