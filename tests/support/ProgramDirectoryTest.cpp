#include "support/ProgramDirectoryTest.h"

#include "infra/Environment.h"
#include "infra/Log.h"

void ProgramDirectoryTest::SetUp() {
  InitializeEnvironmentAt(dir_.Path());
  OpenLog("log.txt");
}

void ProgramDirectoryTest::TearDown() { CloseLog(); }

std::string ProgramDirectoryTest::LogText() const { return ReadWholeFile(PathOf("log.txt")); }

std::vector<std::string> ProgramDirectoryTest::LogMessages() const {
  std::vector<std::string> messages;
  const std::string text = LogText();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t separator = line.find(" - ");
    messages.push_back(separator == std::string::npos ? line : line.substr(separator + 3));
    start = end + 2;
  }
  return messages;
}
