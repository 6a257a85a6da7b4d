// What the preview relies on from the media framework: a graph that loads one
// file and plays, pauses, stops and seeks it. The Qt front end implements it.
#pragma once

#include <cstdint>
#include <string>

namespace media {

class PreviewGraph {
 public:
  virtual ~PreviewGraph() = default;

  // True: the graph exists and may load a file; false: released.
  virtual bool Active() const = 0;
  virtual void SetActive(bool active) = 0;

  // Stops and unloads whatever is loaded; nothing when inactive.
  virtual void Clear() = 0;

  // Loads a file for playback. Returns 0 when every stream could be rendered and
  // a positive code when only some could; throws AppError when nothing can.
  virtual int RenderFile(const std::string& path) = 0;

  // Length of the loaded stream in milliseconds; 0 when nothing is loaded.
  virtual int32_t DurationMs() const = 0;

  // Throw AppError on failure.
  virtual void Run() = 0;
  virtual void Pause() = 0;
  virtual void Stop() = 0;

  // Current position in 100-ns units.
  virtual int64_t CurrentPosition() const = 0;

  // Moves the current position (absolute); the stop position is left alone.
  virtual void SeekToMilliseconds(int64_t ms) = 0;
};

}  // namespace media
