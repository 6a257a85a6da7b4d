// What the preview relies on from the media framework: a graph that loads one
// file and plays, pauses, stops and seeks it. The Qt front end implements the
// hooks; this base keeps what callers rely on (Active, the play state and its
// observers) so no implementation can get it wrong.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/errors.h"

namespace media {

// A graph operation failed; the callers only care that it did.
class MediaError : public AppError {
 public:
  using AppError::AppError;
};

class PreviewGraph {
 public:
  enum class State { Stopped, Paused, Running };
  using StateObserver = std::function<void(State)>;

  PreviewGraph() = default;
  PreviewGraph(const PreviewGraph&) = delete;
  PreviewGraph& operator=(const PreviewGraph&) = delete;
  virtual ~PreviewGraph() = default;

  // True: the graph exists and may load a file. False: stopped, unloaded, released.
  bool Active() const { return active_; }
  void SetActive(bool active);

  // Stops, then unloads whatever is loaded; nothing when inactive.
  void Clear();

  // Loads a file for playback, returning once it is loaded or has failed. 0 when
  // every stream could be rendered, a positive code when only some could; throws
  // MediaError when nothing can be, or when the graph is inactive.
  int RenderFile(const std::string& path);

  // Length of the loaded stream in milliseconds; 0 when nothing is loaded.
  int32_t DurationMs() const;

  // Throw MediaError on failure (also when inactive); the state changes only on success.
  // Reaching the end of the stream does not stop the graph: it keeps running at
  // the end until told otherwise (the playback clock's tick sees it there).
  void Run();
  void Pause();
  void Stop();
  State GetState() const { return state_; }

  // Current position in 100-ns units; 0 when nothing is loaded.
  int64_t CurrentPosition() const;

  // Moves the current position (absolute); the stop position is left alone.
  // A graph that cannot seek ignores it.
  void SeekToMilliseconds(int64_t ms);

  // Components bound to the graph (the playback clock) follow its state.
  int Subscribe(StateObserver observer);
  void Unsubscribe(int id);

 protected:
  // The implementation's side. The base calls them only while Active, except
  // Activate/Release which frame the active time.
  virtual void Activate() {}
  virtual void Release() { Unload(); }
  // Stops playback and drops the loaded file, if any.
  virtual void Unload() = 0;
  virtual int Render(const std::string& path) = 0;
  virtual int32_t LoadedDurationMs() const = 0;
  virtual void DoRun() = 0;
  virtual void DoPause() = 0;
  virtual void DoStop() = 0;
  virtual int64_t Position() const = 0;
  // Position in 100-ns units; failures must not throw.
  virtual void Seek(int64_t position) = 0;

 private:
  void SetState(State state);
  void RequireActive(const char* operation) const;

  bool active_ = false;
  State state_ = State::Stopped;
  std::map<int, StateObserver> observers_;
  int next_id_ = 1;
};

// A graph that never plays anything: the preview of a front end without one.
class NullPreviewGraph : public PreviewGraph {
 protected:
  void Unload() override {}
  int Render(const std::string& path) override;
  int32_t LoadedDurationMs() const override { return 0; }
  void DoRun() override {}
  void DoPause() override {}
  void DoStop() override {}
  int64_t Position() const override { return 0; }
  void Seek(int64_t) override {}
};

}  // namespace media
