#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tonvisor::testing {

// A path in the test temporary folder, named after the running test so that tests never share
// a file.
inline std::string TempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return (std::filesystem::path(::testing::TempDir()) /
          (std::string(info->test_suite_name()) + "." + info->name() + "." + name))
      .string();
}

// A TempPath with nothing left there by an earlier run, for files the code under test creates.
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
