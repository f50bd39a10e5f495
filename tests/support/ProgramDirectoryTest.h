#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDirectory.h"

// Each test runs with a fresh temporary directory as the program directory
// (and current directory), with "log.txt" opened there.
class ProgramDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::string& Dir() const { return dir_.Path(); }
  std::string PathOf(const std::string& name) const { return dir_.File(name); }
  // The log's content so far, as Shift-JIS bytes.
  std::string LogText() const;
  // The log's messages, time stamps and " - " removed, one per line.
  std::vector<std::string> LogMessages() const;

 private:
  TempDirectory dir_;
};
