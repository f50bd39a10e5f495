#pragma once

// The fixture of the site-picture and linked-picture tests: a program
// directory, a loopback site and the control room's operation context.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "control/Control.h"
#include "infra/InternetSession.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "search/CacheDatabase.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

inline std::string Sjis(const char8_t* utf8) { return SjisText(utf8).str(); }

class SitePictureTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    savedSite_ = SiteHost();
    savedCache_ = CacheHost();
    OverrideServerHosts(server_.Host(), server_.Host());
  }
  void TearDown() override {
    OverrideServerHosts(savedSite_, savedCache_);
    ProgramDirectoryTest::TearDown();
  }

  LoopbackHttpServer server_;
  InternetSession session_{"Tintwise"};
  RecordingView view_;
  CacheDatabase cache_;
  std::atomic<bool> running_{false};
  OperationContext context_{view_, session_, cache_, running_};

 private:
  std::string savedSite_;
  std::string savedCache_;
};
