#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace tonvisor::testing {

// A folder of this test program's own under the temporary folder, made at first use and
// removed with all it holds when the program ends: runs at the same time never share a file,
// and none is left behind.
inline const std::filesystem::path& PrivateTempDir() {
  struct Folder {
    std::filesystem::path path;
    Folder() {
      std::string pattern = (std::filesystem::path(::testing::TempDir()) / "tonvisor-test-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) std::abort();
      path = pattern;
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

// A path in the private folder, named after the running test.
inline std::string TempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return (PrivateTempDir() / (std::string(info->test_suite_name()) + "." + info->name() + "." + name)).string();
}

// A TempPath with nothing left there by an earlier step of the test, for files the code under
// test creates.
inline std::string FreshPath(const std::string& name) {
  const std::string path = TempPath(name);
  std::filesystem::remove(path);
  return path;
}

inline std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tonvisor::testing
