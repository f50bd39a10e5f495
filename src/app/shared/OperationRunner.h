#pragma once

#include <functional>
#include <thread>

// Runs the window's long operations on a worker thread, one at a time, so the
// window keeps repainting and its Abort button keeps working. No toolkit: the
// window supplies `post`, which the worker calls once its work has returned
// and which must run the function it is given on the UI thread, after
// everything the work queued there before returning (a posted event or
// message; dropped with the window). Start, IsBusy and Wait belong to the UI
// thread, as does `finished`.
class OperationRunner {
 public:
  using Post = std::function<void(std::function<void()>)>;

  OperationRunner(Post post, std::function<void()> finished);
  // Waits for a running operation's work to return.
  ~OperationRunner();
  OperationRunner(const OperationRunner&) = delete;
  OperationRunner& operator=(const OperationRunner&) = delete;

  // Starts `work` on a worker thread; false, starting nothing, while another
  // operation runs. `work` must not throw.
  bool Start(std::function<void()> work);
  // True from Start until `finished` is called.
  bool IsBusy() const { return busy_; }
  // Blocks until the running operation's work has returned (`finished` is
  // still called later, through `post`).
  void Wait();

 private:
  void Complete();

  const Post post_;
  const std::function<void()> finished_;
  std::thread worker_;
  bool busy_ = false;
};
