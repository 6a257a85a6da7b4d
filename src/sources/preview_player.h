// The preview player: loading, playing, pausing and stopping the preview graph,
// its buttons and the playback clock's tick.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sources/components.h"

namespace ui {
class EventLoop;
class ProgressBar;
class SourceGrid;
struct Timing;
}  // namespace ui
namespace media {
class PlaybackClock;
class PreviewGraph;
}  // namespace media
namespace platform {
class Desktop;
class Hold;
}  // namespace platform

namespace sources {

// The preview graph, the views and marks it shows and the state it keeps.
struct Preview {
  media::PreviewGraph& graph;
  Panel& logo;
  Panel& clock_text;
  ui::ProgressBar& progress;
  media::PlaybackClock& clock;
  // True while the graph runs.
  bool& is_playing;
  // Path of the file loaded in the graph; empty when none.
  std::string& file;
  // The screen saver is held off while the preview plays.
  platform::Desktop& desktop;
  std::unique_ptr<platform::Hold>& screen_on;
  ui::EventLoop& loop;
  const ui::Timing& timing;
  std::function<void(const std::string&)> log;
  // The trim bar's marks: a newly loaded file plays from the start mark.
  const bool& trim_bar_ready;
  const int32_t& start_mark_seconds;
  // The trim bar, whose caption says why a file cannot be previewed.
  Panel& trim_bar;
};

// What the player's buttons and clock ask of the player that owns the state.
class PreviewHost {
 public:
  virtual ~PreviewHost() = default;
  virtual void Play() = 0;
  virtual void Pause() = 0;
  virtual void Stop() = 0;
  virtual void OpenAndPlay(const std::string& path) = 0;
};

// How the trim bar's caption begins when it says why the preview failed.
inline constexpr const char* kPreviewFailurePrefix = "cannot preview this file: ";

// Moves the graph's current position (absolute); failures are ignored.
void SeekToMilliseconds(media::PreviewGraph& graph, int64_t ms);

// Holds the screen saver off while playing, lets it go otherwise.
void SyncScreenSaver(Preview& preview);
void PreviewPlay(Preview& preview);
void PreviewPause(Preview& preview);
void PreviewStop(Preview& preview);
void PreviewOpenAndPlay(Preview& preview, const std::string& path);

// Play resumes the file in the preview, or loads each selected row in turn.
void PlayClicked(PreviewHost& host, const std::string& preview_file, bool is_playing, const ui::SourceGrid& grid);
void PauseClicked(PreviewHost& host, const std::string& preview_file, bool is_playing);
// The playback clock's tick: shows the position, pauses at the end mark and
// stops at the end of the file.
void ClockTick(PreviewHost& host, media::PreviewGraph& graph, const media::PlaybackClock& clock,
               ui::ProgressBar& progress, Panel& clock_text, const std::string& stop_text, uint32_t current_pos,
               uint32_t stop_pos);

}  // namespace sources
