#include "app/qt_preview_graph.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include "platform/errors.h"

namespace app {

namespace {
// How long a file may take to load before it counts as unreadable.
constexpr int kLoadTimeoutMs = 8000;
}  // namespace

QtPreviewGraph::QtPreviewGraph(std::function<QVideoWidget*()> make_video_window)
    : make_video_window_(std::move(make_video_window)) {}

QMediaPlayer& QtPreviewGraph::player() {
  if (!player_) {
    player_ = std::make_unique<QMediaPlayer>();
    audio_ = std::make_unique<QAudioOutput>();
    player_->setAudioOutput(audio_.get());
    if (QVideoWidget* video = make_video_window_ ? make_video_window_() : nullptr) player_->setVideoOutput(video);
  }
  return *player_;
}

void QtPreviewGraph::SetActive(bool active) {
  if (!active && active_) Clear();
  active_ = active;
}

void QtPreviewGraph::Clear() {
  if (!active_) return;
  if (!player_) return;
  player_->stop();
  player_->setSource(QUrl());
}

int QtPreviewGraph::RenderFile(const std::string& path) {
  player().setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
  // Loading is asynchronous: wait, with events handled, until it settles.
  QEventLoop loop;
  QTimer timeout;
  timeout.setSingleShot(true);
  QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
  auto settled = [this] {
    const auto status = player_->mediaStatus();
    return status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::InvalidMedia ||
           status == QMediaPlayer::BufferedMedia || status == QMediaPlayer::EndOfMedia ||
           player_->error() != QMediaPlayer::NoError;
  };
  QObject::connect(player_.get(), &QMediaPlayer::mediaStatusChanged, &loop, [&] {
    if (settled()) loop.quit();
  });
  QObject::connect(player_.get(), &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
  if (!settled()) {
    timeout.start(kLoadTimeoutMs);
    loop.exec();
  }
  if (player_->error() != QMediaPlayer::NoError || player_->mediaStatus() == QMediaPlayer::InvalidMedia)
    throw AppError(player_->errorString().isEmpty() ? "The file cannot be played." : player_->errorString().toStdString());
  if (!settled()) throw AppError("The file took too long to load.");
  // Some streams only: the file plays, but not completely.
  return (player_->hasVideo() || player_->hasAudio()) ? 0 : 1;
}

int32_t QtPreviewGraph::DurationMs() const {
  if (!player_) return 0;
  const qint64 ms = player_->duration();
  return ms > INT32_MAX ? INT32_MAX : static_cast<int32_t>(ms < 0 ? 0 : ms);
}

void QtPreviewGraph::ThrowOnError() const {
  if (player_ && player_->error() != QMediaPlayer::NoError) throw AppError(player_->errorString().toStdString());
}

void QtPreviewGraph::Run() {
  player().play();
  ThrowOnError();
}

void QtPreviewGraph::Pause() {
  player().pause();
  ThrowOnError();
}

void QtPreviewGraph::Stop() {
  if (!player_) return;
  player_->stop();
  ThrowOnError();
}

int64_t QtPreviewGraph::CurrentPosition() const {
  return player_ ? static_cast<int64_t>(player_->position()) * 10000 : 0;
}

void QtPreviewGraph::SeekToMilliseconds(int64_t ms) {
  if (player_) player_->setPosition(ms);
}

}  // namespace app
