#include "linux_layout_memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "posix_fd.h"

namespace pelmode {
namespace {

constexpr std::size_t kMostBytes = 1 << 20;
constexpr char kUnkept[] = "Pelmode: no layout memory is kept: ";

// WHAT failed, with errno's words.
std::string Failed(const std::string& what) {
  return what + " (" + std::strerror(errno) + ")";
}

// Why RUNTIME cannot hold this user's memory; empty when it can. A run as
// root with the user's environment must not leave a folder of root's there:
// the user's own runs could then keep no memory until logout.
std::string RuntimeFolderProblem(const char* runtime) {
  if (runtime == nullptr) return "XDG_RUNTIME_DIR is not set";
  const std::string folder = runtime;
  if (runtime[0] != '/') return "XDG_RUNTIME_DIR (" + folder + ") is not an absolute path";
  struct stat info {};
  if (stat(runtime, &info) != 0) return Failed(folder + " cannot be examined");
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    return folder + " is not a folder of this user's";
  }
  return {};
}

std::string FileName(const std::string& display) {
  std::string name = "layout-";
  for (const char c : display) name += c == '/' ? '_' : c;
  return name;
}

// Why the open file is not read as a memory; empty when it may be. Only a
// private file of the user's own is: nobody else can make one.
std::string FileProblem(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return Failed("it cannot be examined");
  if (!S_ISREG(info.st_mode)) return "it is not a regular file";
  if (info.st_uid != geteuid()) return "it belongs to another user";
  const unsigned mode = info.st_mode & 07777;
  if (mode == 0600) return {};
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", mode);
  return std::string("its mode is ") + octal + ", not 0600";
}

// Reads the whole file in as few calls as its size needs: a regular file
// reads short only at its end.
std::string ReadProblem(int fd, std::string* content) {
  char buffer[4096];
  ssize_t got = 0;
  do {
    got = read(fd, buffer, sizeof buffer);
    if (got > 0) content->append(buffer, std::size_t(got));
  } while (got == ssize_t(sizeof buffer) && content->size() <= kMostBytes);
  if (got < 0) return Failed("it cannot be read");
  if (content->size() > kMostBytes) return "it is larger than 1 MiB";
  return {};
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t wrote = write(fd, data.data() + done, data.size() - done);
    if (wrote < 0) return false;
    done += std::size_t(wrote);
  }
  return true;
}

bool IsPrivateFolder(int fd) {
  struct stat info {};
  return fd >= 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == geteuid() && (info.st_mode & 07777) == 0700;
}

}  // namespace

LayoutMemoryFile::LayoutMemoryFile(const std::string& display) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  unkept_ = RuntimeFolderProblem(runtime);
  if (!unkept_.empty()) return;
  folder_ = std::string(runtime) + "/pelmode";
  name_ = FileName(display);
  Read(folder_ + "/" + name_);
}

// O_NONBLOCK: a FIFO or a device in the file's place must not hold the run.
void LayoutMemoryFile::Read(const std::string& path) {
  const OwnedFd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  std::string problem;
  if (file.get() < 0 && errno == ENOENT) return;
  if (file.get() < 0) {
    problem = errno == ELOOP ? "it is a symbolic link" : Failed("it cannot be opened");
  } else {
    problem = FileProblem(file.get());
    if (problem.empty()) problem = ReadProblem(file.get(), &content_);
  }
  if (problem.empty()) return;
  content_.clear();
  refused_ = "Pelmode: the layout memory " + path + " is not read: " + problem;
}

// The folder is checked once opened, and everything after is done through
// that descriptor, so it cannot be swapped for someone else's meanwhile.
std::string LayoutMemoryFile::Replace(const std::string& memory) {
  if (!unkept_.empty()) return kUnkept + unkept_;
  if (memory == content_) return {};
  if (mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) {
    return kUnkept + Failed(folder_ + " cannot be made");
  }
  const OwnedFd folder(open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!IsPrivateFolder(folder.get())) {
    return kUnkept + folder_ + " is not a private folder of this user's";
  }
  const std::string problem = WriteIn(folder.get(), memory);
  if (!problem.empty()) return kUnkept + problem;
  content_ = memory;
  return {};
}

// Written whole to NAME.new, then renamed over NAME, so that no reader finds
// a half-written memory. A .new of the user's own is left by an earlier
// run, and removed; anyone else's stays, and O_EXCL refuses it.
std::string LayoutMemoryFile::WriteIn(int folder_fd, const std::string& memory) const {
  const std::string temporary = name_ + ".new";
  const std::string temporary_path = folder_ + "/" + temporary;
  struct stat info {};
  if (fstatat(folder_fd, temporary.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      info.st_uid == geteuid() && unlinkat(folder_fd, temporary.c_str(), 0) != 0) {
    return Failed(temporary_path + " cannot be removed");
  }
  const OwnedFd file(openat(folder_fd, temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (file.get() < 0) return Failed(temporary_path + " cannot be made");
  if (!WriteAll(file.get(), memory)) {
    return Failed(temporary_path + " cannot be written");
  }
  if (renameat(folder_fd, temporary.c_str(), folder_fd, name_.c_str()) != 0) {
    return Failed(folder_ + "/" + name_ + " cannot be replaced");
  }
  return {};
}

}  // namespace pelmode
