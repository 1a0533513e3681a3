#include "linux_layout_memory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace pelmode {
namespace {

constexpr uid_t kNobody = 65534;

void Ok(int result) { EXPECT_EQ(result, 0) << std::strerror(errno); }

void Put(const std::string& path, mode_t mode, uid_t owner) {
  std::ofstream(path) << "old";
  Ok(chmod(path.c_str(), mode) | chown(path.c_str(), owner, 0));
}

// Each case starts from a private runtime folder holding an empty private
// folder F, and replaces the memory of the display "d" with "new".
TEST(LayoutMemoryFileTest, ReadsAndWritesOnlyPrivateFilesOfTheUsersOwn) {
  if (geteuid() != 0) GTEST_SKIP() << "making another user's files needs root";
  const struct {
    const char* what;
    void (*prepare)(const std::string& f);
    const char* read;
    const char* refused;  // part of the refusal, "" for none
    const char* unkept;   // part of Replace's line, "" when written
  } cases[] = {
      {"a private memory", [](auto& f) { Put(f + "/layout-d", 0600, 0); }, "old", "", ""},
      {"no folder yet", [](auto& f) { Ok(rmdir(f.c_str())); }, "", "", ""},
      {"a FIFO as the memory", [](auto& f) { Ok(mkfifo((f + "/layout-d").c_str(), 0600)); }, "",
       "layout-d is not read: it is not a regular file", ""},
      {"a FIFO of one's own as .new", [](auto& f) { Ok(mkfifo((f + "/layout-d.new").c_str(), 0600)); }, "",
       "", ""},
      {"a link", [](auto& f) { Put(f + "/e", 0600, 0); Ok(symlink("e", (f + "/layout-d").c_str())); },
       "", "symbolic link", ""},
      {"another user's memory", [](auto& f) { Put(f + "/layout-d", 0600, kNobody); }, "", "another user", ""},
      {"a memory others can read", [](auto& f) { Put(f + "/layout-d", 0644, 0); }, "", "mode is 0644", ""},
      {"a memory of any mode but 0600", [](auto& f) { Put(f + "/layout-d", 0700, 0); }, "", "mode is 0700", ""},
      {"another's .new in a private folder", [](auto& f) { Put(f + "/layout-d.new", 0600, kNobody); }, "", "",
       "/pelmode/layout-d.new cannot be made (File exists)"},
      {"an open folder with another's .new",
       [](auto& f) { Ok(chmod(f.c_str(), 0777)); Put(f + "/layout-d.new", 0666, kNobody); }, "", "",
       "/pelmode is not a private folder of this user's"},
      {"another user's folder", [](auto& f) { Ok(chown(f.c_str(), kNobody, 0)); }, "", "",
       "/pelmode is not a private folder of this user's"},
      {"another's runtime folder",
       [](auto& f) { Ok(chown((f + "/..").c_str(), kNobody, 0)); Ok(rmdir(f.c_str())); }, "", "",
       "is not a folder of this user's"},
  };
  alarm(60);  // a blocking open ends the run rather than hanging it
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char runtime[] = "/tmp/pelmode-memory-XXXXXX";
    ASSERT_NE(mkdtemp(runtime), nullptr);
    const std::string folder = std::string(runtime) + "/pelmode";
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    c.prepare(folder);
    const bool had_folder = access(folder.c_str(), F_OK) == 0;
    LayoutMemoryFile memory("d");
    EXPECT_EQ(memory.Load(), c.read);
    EXPECT_EQ(memory.Refusal().empty(), !*c.refused) << memory.Refusal();
    EXPECT_NE(memory.Refusal().find(c.refused), std::string::npos) << memory.Refusal();
    const std::string line = memory.Replace("new");
    EXPECT_EQ(line.empty(), !*c.unkept) << line;
    EXPECT_EQ(line.find(*c.unkept ? "Pelmode: no layout memory is kept: " : ""), 0u) << line;
    EXPECT_NE(line.find(c.unkept), std::string::npos) << line;
    LayoutMemoryFile after("d");
    struct stat info {};
    if (*c.unkept) {
      EXPECT_EQ(after.Refusal(), memory.Refusal());  // nothing renamed into place
      EXPECT_EQ(stat(folder.c_str(), &info) == 0, had_folder);
    } else {
      EXPECT_EQ(after.Load(), "new") << after.Refusal();
      EXPECT_TRUE(stat(folder.c_str(), &info) == 0 && (info.st_mode & 07777) == 0700);
    }
    std::filesystem::remove_all(runtime);
  }
  alarm(0);
}

}  // namespace
}  // namespace pelmode
