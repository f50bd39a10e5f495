#include "app/shared/WindowSystem.h"

#include "control/DataDirectoryNotice.h"
#include "infra/Environment.h"
#include "infra/Log.h"

void WindowSystem::Initialize(const std::string& programDirectory) {
  if (programDirectory.empty()) {
    InitializeEnvironment();
  } else {
    InitializeEnvironmentAt(programDirectory);
  }
  OpenLog("log.txt");
  if (const DataDirectoryNotice notice = DataDirectoryNotice::Current(); !notice.Empty()) WriteLog(notice.LogText());
}
