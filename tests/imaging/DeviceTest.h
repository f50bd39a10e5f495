#pragma once

#include <filesystem>
#include <string>

#include "imaging/D3DDevice.h"
#include "support/ProgramDirectoryTest.h"

// A temporary program directory with the graphics device started, as the
// window has it; files are put there by name.
class DeviceTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    D3DDevice::Initialize();
  }
  void TearDown() override {
    D3DDevice::Shutdown();
    ProgramDirectoryTest::TearDown();
  }

  // Writes `bytes` to `name` below the program directory (making its
  // folders) and returns the full path.
  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = PathOf(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteWholeFile(path, bytes);
    return path;
  }
};
