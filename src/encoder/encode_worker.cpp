#include "encoder/encode_worker.h"

namespace encoder {

EncodeWorker::EncodeWorker(Encode encode) : encode_(std::move(encode)) {
  thread_ = std::thread([this] { Loop(); });
}

EncodeWorker::~EncodeWorker() {
  try {
    Finish();
  } catch (...) {
    // Already failing: the first reason is the one reported.
  }
}

void EncodeWorker::Loop() {
  while (true) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    if (error_) continue;  // after a failure the rest is only let through
    try {
      encode_(*job.lane, job.frame.get());
    } catch (...) {
      {
        std::lock_guard lock(mutex_);
        error_ = std::current_exception();
      }
      changed_.notify_all();
    }
  }
}

void EncodeWorker::Submit(Lane& lane, FramePtr frame) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < kQueuedFrames || error_; });
  if (error_) std::rethrow_exception(error_);
  queue_.push_back(Job{&lane, std::move(frame)});
  lock.unlock();
  changed_.notify_all();
}

void EncodeWorker::Finish() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (error_) std::rethrow_exception(error_);
}

}  // namespace encoder
