// The preview graph on Qt Multimedia: a QMediaPlayer drawing into a QVideoWidget.
#pragma once

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QVideoWidget>
#include <functional>
#include <memory>

#include "media/preview_graph.h"

namespace app {

class QtPreviewGraph : public media::PreviewGraph {
 public:
  // Makes the video window the graph draws into (owned by the caller's window),
  // when the graph is first used.
  explicit QtPreviewGraph(std::function<QVideoWidget*()> make_video_window);

  bool Active() const override { return active_; }
  void SetActive(bool active) override;
  void Clear() override;
  int RenderFile(const std::string& path) override;
  int32_t DurationMs() const override;
  void Run() override;
  void Pause() override;
  void Stop() override;
  int64_t CurrentPosition() const override;
  void SeekToMilliseconds(int64_t ms) override;

  // Made on first use: the media backend and the sound system take a while to
  // come up, and the program should not wait for them before it can be used.
  QMediaPlayer& player();

 private:
  void ThrowOnError() const;
  std::function<QVideoWidget*()> make_video_window_;
  std::unique_ptr<QMediaPlayer> player_;
  std::unique_ptr<QAudioOutput> audio_;
  bool active_ = false;
};

}  // namespace app
