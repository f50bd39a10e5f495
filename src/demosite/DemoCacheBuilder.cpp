#include "demosite/DemoCacheBuilder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "infra/Environment.h"
#include "infra/Log.h"
#include "infra/Platform.h"
#include "imaging/D3DDevice.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "control/Control.h"
#include "control/ControlView.h"

namespace {

// Passes the run's status texts on; the run shows no results.
class ProgressView : public ControlView {
 public:
  explicit ProgressView(const std::function<void(const std::string&)>& progress) : progress_(progress) {}
  void SetStatusText(const std::string& text) override {
    if (progress_) progress_(Cp932ToUtf8(text));
  }
  void EnableControls(bool) override {}
  void ClearRows() override {}
  void AddRow(const std::vector<std::string>&) override {}

 private:
  const std::function<void(const std::string&)>& progress_;
};

// A directory under the system's temporary directory, removed with its content.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    // In memory where possible: the run syncs every page and image it saves,
    // which on a disk costs most of the build's time.
    const std::string base = platform::MayWriteIn("/dev/shm") ? "/dev/shm" : platform::TemporaryDirectory();
    path_ = platform::MakeUniqueDirectory(platform::JoinPath(base, "tintwise-demo-"));
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::optional<std::string> BuildDemoCache(const std::string& siteHost, int firstId, int lastId,
                                          const std::function<void(const std::string&)>& progress) {
  ScratchDirectory scratch;
  if (scratch.Path().empty()) return std::nullopt;
  InitializeEnvironmentAt(scratch.Path());
  OpenLog("log.txt");
  platform::MakeDirectory(scratch.Path() + "image");
  {
    std::ofstream settings(scratch.Path() + "cache_setting.ini", std::ios::binary);
    settings << "START=" << firstId << "\r\nEND=" << lastId << "\r\n";
    if (!settings) return std::nullopt;
  }
  OverrideServerHosts(siteHost, siteHost);
  // Signatures are computed on the graphics device, as in the program.
  if (!D3DDevice::Current()) D3DDevice::Initialize();

  ProgressView view(progress);
  {
    Control control(view);
    control.GenerateCache();
  }
  CloseLog();

  std::ifstream database(scratch.Path() + "cache.db", std::ios::binary);
  if (!database) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(database)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return std::nullopt;
  return bytes;
}
