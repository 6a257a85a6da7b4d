// Encoding and writing run on a thread of their own, fed through a short
// queue, so that decoding and encoding overlap: the decoders of common sources
// keep only part of the cores busy, and sound decoders only one.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "encoder/av_handles.h"

namespace encoder {

struct Lane;

class EncodeWorker {
 public:
  // `encode` runs on the worker thread for every frame queued, and for the
  // null frame that ends a lane.
  using Encode = std::function<void(Lane&, AVFrame*)>;

  explicit EncodeWorker(Encode encode);  // starts the thread
  ~EncodeWorker();                       // waits for it; a failure then goes unreported
  EncodeWorker(const EncodeWorker&) = delete;
  EncodeWorker& operator=(const EncodeWorker&) = delete;

  // Queues a frame (null ends the lane's encoder), waiting while the queue is
  // full. Rethrows a failure of the worker.
  void Submit(Lane& lane, FramePtr frame);
  // Waits until everything queued is done. Rethrows a failure of the worker.
  void Finish();

 private:
  struct Job {
    Lane* lane = nullptr;
    FramePtr frame;
  };
  static constexpr size_t kQueuedFrames = 8;

  void Loop();

  Encode encode_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool closing_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace encoder
