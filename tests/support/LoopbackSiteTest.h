#pragma once

#include "imaging/D3DDevice.h"
#include "infra/ServerAddress.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"

// A temporary program directory whose site and cache server are one loopback
// server, with the graphics device started: the set-up of the cache
// generation run and its downloads.
class LoopbackSiteTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    OverrideServerHosts(server_.Host(), server_.Host());
    D3DDevice::Initialize();
  }
  void TearDown() override {
    D3DDevice::Shutdown();
    ProgramDirectoryTest::TearDown();
  }

  LoopbackHttpServer server_;
};
