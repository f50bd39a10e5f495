#pragma once

// The command-line program run as a process of its own, with a temporary
// program directory, a work directory and a loopback server.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDirectory.h"

inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct Outcome {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// A path as the program prints it on stdout and stderr: a backslash is
// escaped as any other byte that could be misread, so Windows' separators
// show doubled.
std::string Shown(const std::string& path);

// `text` as the inside of a JSON string: backslashes doubled.
std::string JsonInside(const std::string& text);

// One uniform grey picture, as BMP bytes.
std::string GreyBmp(int level);

struct Row {
  std::string id;
  std::string titleUtf8;
  std::string posterUtf8;
  int level;  // every signature value
};

// A cache database with the given rows, texts stored as Shift-JIS; built in
// `directory`.
std::string CacheBytes(const std::string& directory, const std::vector<Row>& rows);

class CliTest : public ::testing::Test {
 protected:
  // The built tintwise-cli.
  static std::string Cli();

  Outcome Run(std::vector<std::string> arguments);
  // Runs arguments[0] with the rest as its arguments.
  Outcome RunProgram(std::vector<std::string> arguments) { return Spawn(std::move(arguments), ""); }
  // Runs `arguments` (the program's path first), in `directory` unless empty,
  // its output into `outPath` when given (not read back then); `whileRunning`
  // is called with the process before it is waited for.
  Outcome Spawn(std::vector<std::string> arguments, const std::string& directory, std::string outPath = "",
                const std::function<void(ChildProcess&)>& whileRunning = {});
  // A command run in the program directory, against the loopback cache server.
  Outcome RunIn(const std::string& command, std::vector<std::string> operands = {});
  // A generation run whose site is the loopback server.
  Outcome Generate(const std::function<void(ChildProcess&)>& whileRunning = {});
  // Sends the child Ctrl+C; where the system cannot (Wine has no console
  // events for a single process) ends it instead and says so.
  static bool InterruptOrEnd(ChildProcess& child);

  std::string CacheFile() const { return program_.File("cache.db"); }

  TempDirectory program_;
  TempDirectory work_;
  LoopbackHttpServer server_;
};
