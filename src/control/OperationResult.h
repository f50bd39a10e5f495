#pragma once

#include <string>
#include <utility>

// How an operation of Control ended: success, or failure with its reason.
// The reason is the status text the operation left on its view (Shift-JIS),
// so a front end without a status line (the command line) can report it.
struct OperationResult {
  bool ok = false;
  std::string reason;

  static OperationResult Success() { return {true, {}}; }
  static OperationResult Failure(std::string reason) { return {false, std::move(reason)}; }
  explicit operator bool() const { return ok; }
};
