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
  ~QtPreviewGraph() override;
  // Lets go of the video window before the window goes.
  void ReleaseVideoWindow();

 protected:
  void Unload() override;
  int Render(const std::string& path) override;
  int32_t LoadedDurationMs() const override;
  void DoRun() override;
  void DoPause() override;
  void DoStop() override;
  int64_t Position() const override;
  void Seek(int64_t position) override;

 private:
  // Made on first use: the media backend and the sound system take a while to
  // come up, and the program should not wait for them before it can be used.
  QMediaPlayer& Player();
  void ThrowOnError() const;

  std::function<QVideoWidget*()> make_video_window_;
  std::unique_ptr<QMediaPlayer> player_;
  std::unique_ptr<QAudioOutput> audio_;
};

}  // namespace app
