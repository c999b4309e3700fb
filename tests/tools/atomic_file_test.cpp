#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/atomic_file.h"
#include "tools/temp_files.h"

namespace tonvisor {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempPath;

// A folder of the test's own, so that a temporary file left behind would show.
struct AtomicFile : ::testing::Test {
  AtomicFile() { fs::create_directory(folder); }
  std::vector<std::string> names() const {
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(folder)) all.push_back(entry.path().filename().string());
    return all;
  }
  std::string file(const std::string& name, const std::string& bytes) {
    const std::string path = (fs::path(folder) / name).string();
    WriteFileAtomically(path, bytes);
    return path;
  }
  const std::string folder = TempPath("folder");
};

TEST_F(AtomicFile, ReplacesTheFileWholeKeepingItsPermissionsAndItsLink) {
  const std::string path = file("log.txt", "old and longer than the new one\n");
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(WriteFileAtomically(path, "new\n"));
  EXPECT_EQ(ReadFile(path), "new\n");
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));

  const std::string link = (fs::path(folder) / "link.txt").string();
  fs::create_symlink("log.txt", link);
  ASSERT_TRUE(WriteFileAtomically(link, "through the link\n"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(path), "through the link\n");
  EXPECT_EQ(names().size(), 2u);
}

// What a full disk does to a write: the kernel refuses bytes past a size (the signal that
// would end the program for it is ignored here, as the tools see the error instead).
TEST_F(AtomicFile, AFailedWriteLeavesTheOldFileAndNoTemporaryOne) {
  const std::string path = file("log.txt", "the good old file\n");
  rlimit before{};
  ::getrlimit(RLIMIT_FSIZE, &before);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 8;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const bool written = WriteFileAtomically(path, std::string(100, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::signal(SIGXFSZ, previous);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(path), "the good old file\n");
  EXPECT_EQ(names(), std::vector<std::string>{"log.txt"});
}

TEST_F(AtomicFile, APathThatCannotTakeAFileFailsAndLeavesNothing) {
  fs::create_directory(fs::path(folder) / "sub");
  file("sub/kept.txt", "kept\n");
  for (const std::string& path : {folder + "/sub", folder + "/sub/", folder + "/no/such/folder/log.txt"}) {
    EXPECT_FALSE(WriteFileAtomically(path, "bytes\n")) << path;
  }
  EXPECT_EQ(names(), std::vector<std::string>{"sub"});
  EXPECT_EQ(ReadFile(folder + "/sub/kept.txt"), "kept\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder + "/sub"), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tonvisor
