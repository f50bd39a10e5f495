#pragma once

// The data directory rule's cases, checked the same way on each system.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "infra/Environment.h"

struct DataDirectoryCase {
  const char* name;
  bool writable;
  bool installed;
  std::optional<std::string> base;  // the user data variable (XDG_DATA_HOME, LOCALAPPDATA)
  std::optional<std::string> home;
  std::string directory;
  DataDirectoryRule rule;
};

// Only a copy that is not installed passes over its own directory for want
// of writing there, and is told so.
inline void ExpectDataDirectoryChoices(const std::string& executableDirectory,
                                       const std::vector<DataDirectoryCase>& cases) {
  for (const DataDirectoryCase& c : cases) {
    DataDirectoryFacts facts;
    facts.executableDirectory = executableDirectory;
    facts.executableDirectoryWritable = c.writable;
    facts.installedCopy = c.installed;
    facts.xdgDataHome = c.base;
    facts.home = c.home;
    const DataDirectoryChoice choice = ChooseDataDirectory(facts);
    EXPECT_EQ(choice.directory, c.directory) << c.name;
    EXPECT_EQ(choice.rule, c.rule) << c.name;
    EXPECT_EQ(choice.programDirectoryUnwritable, !c.writable && !c.installed) << c.name;
  }
}
