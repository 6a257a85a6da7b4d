// The preview graph on Qt Multimedia: a QMediaPlayer drawing into a QVideoWidget.
#pragma once

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QVideoWidget>

#include "media/preview_graph.h"

namespace app {

class QtPreviewGraph : public media::PreviewGraph {
 public:
  // The video window the graph draws into (owned by the caller's window).
  explicit QtPreviewGraph(QVideoWidget* video_window);

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

  QMediaPlayer& player() { return player_; }

 private:
  void ThrowOnError() const;
  QMediaPlayer player_;
  QAudioOutput audio_;
  bool active_ = false;
};

}  // namespace app
