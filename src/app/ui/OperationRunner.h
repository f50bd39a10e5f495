#pragma once

#include <QObject>
#include <functional>
#include <thread>

// Runs the window's long operations on a worker thread, one at a time, so the
// window keeps repainting and its Abort button keeps working. Start, IsBusy
// and Wait belong to this object's thread (the UI thread).
class OperationRunner : public QObject {
  Q_OBJECT

 public:
  explicit OperationRunner(QObject* parent = nullptr);
  // Waits for a running operation to end.
  ~OperationRunner() override;

  // Starts `work` on a worker thread; false, starting nothing, while another
  // operation runs. `work` must not throw.
  bool Start(std::function<void()> work);
  // True from Start until Finished is emitted.
  bool IsBusy() const { return busy_; }
  // Blocks until the running operation's work has returned (Finished is
  // still emitted later, from the event loop).
  void Wait();

 signals:
  // Emitted on this object's thread once the work has returned, after every
  // call it queued to this thread before returning.
  void Finished();

 private:
  void Complete();

  std::thread worker_;
  bool busy_ = false;
};
