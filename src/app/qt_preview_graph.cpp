#include "app/qt_preview_graph.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

namespace app {

namespace {
// How long a file may take to load before it counts as unreadable.
constexpr int kLoadTimeoutMs = 8000;
// How long a loaded file may take to start playing before a seek goes ahead.
constexpr int kStartTimeoutMs = 3000;
}  // namespace

QtPreviewGraph::QtPreviewGraph(std::function<QVideoWidget*()> make_video_window)
    : make_video_window_(std::move(make_video_window)) {}

QtPreviewGraph::~QtPreviewGraph() {
  if (player_) player_->stop();
}

void QtPreviewGraph::ReleaseVideoWindow() {
  make_video_window_ = nullptr;
  if (player_) player_->setVideoOutput(nullptr);
}

QMediaPlayer& QtPreviewGraph::Player() {
  if (!player_) {
    player_ = std::make_unique<QMediaPlayer>();
    audio_ = std::make_unique<QAudioOutput>();
    player_->setAudioOutput(audio_.get());
    if (QVideoWidget* video = make_video_window_ ? make_video_window_() : nullptr) player_->setVideoOutput(video);
  }
  return *player_;
}

void QtPreviewGraph::ThrowOnError() const {
  if (player_ && player_->error() != QMediaPlayer::NoError)
    throw media::MediaError(player_->errorString().toStdString());
}

void QtPreviewGraph::Unload() {
  if (!player_) return;
  player_->stop();
  player_->setSource(QUrl());
}

int QtPreviewGraph::Render(const std::string& path) {
  QMediaPlayer& player = Player();
  const QUrl source = QUrl::fromLocalFile(QString::fromStdString(path));
  player.setSource(source);
  // Loading is asynchronous: wait, with events handled, until it settles.
  auto settled = [&player] {
    const auto status = player.mediaStatus();
    return status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::InvalidMedia ||
           status == QMediaPlayer::BufferedMedia || status == QMediaPlayer::EndOfMedia ||
           player.error() != QMediaPlayer::NoError;
  };
  if (!settled()) {
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&player, &QMediaPlayer::mediaStatusChanged, &loop, [&] {
      if (settled()) loop.quit();
    });
    QObject::connect(&player, &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
    // Stopped or replaced while loading (a click handled meanwhile).
    QObject::connect(&player, &QMediaPlayer::sourceChanged, &loop, &QEventLoop::quit);
    timeout.start(kLoadTimeoutMs);
    loop.exec();
  }
  if (player.source() != source) throw media::MediaError("The preview was stopped while the file loaded.");
  if (player.error() != QMediaPlayer::NoError || player.mediaStatus() == QMediaPlayer::InvalidMedia) {
    const QString why = player.errorString();
    player.setSource(QUrl());
    throw media::MediaError(why.isEmpty() ? "The file cannot be played." : why.toStdString());
  }
  if (!settled()) {
    player.setSource(QUrl());
    throw media::MediaError("The file took too long to load.");
  }
  // Loaded, but without a stream the player can show: it plays, not completely.
  return (player.hasVideo() || player.hasAudio()) ? 0 : 1;
}

int32_t QtPreviewGraph::LoadedDurationMs() const {
  if (!player_) return 0;
  const qint64 ms = player_->duration();
  return ms > INT32_MAX ? INT32_MAX : static_cast<int32_t>(ms < 0 ? 0 : ms);
}

void QtPreviewGraph::DoRun() {
  QMediaPlayer& player = Player();
  const bool from_loaded = player.mediaStatus() == QMediaPlayer::LoadedMedia;
  player.play();
  // GStreamer reaches PLAYING asynchronously, later for a decoder that is slow
  // to set up (H.264): a seek that comes before it can leave the pipeline
  // stalled on its first picture. Until the player says its media buffers, a
  // seek waits here, events handled.
  if (from_loaded && player.mediaStatus() == QMediaPlayer::LoadedMedia) {
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&player, &QMediaPlayer::mediaStatusChanged, &loop, [&] {
      if (player.mediaStatus() != QMediaPlayer::LoadedMedia) loop.quit();
    });
    QObject::connect(&player, &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&player, &QMediaPlayer::sourceChanged, &loop, &QEventLoop::quit);
    timeout.start(kStartTimeoutMs);
    loop.exec();
  }
  ThrowOnError();
}

void QtPreviewGraph::DoPause() {
  Player().pause();
  ThrowOnError();
}

void QtPreviewGraph::DoStop() {
  if (!player_) return;
  player_->stop();
  ThrowOnError();
}

int64_t QtPreviewGraph::Position() const {
  return player_ ? static_cast<int64_t>(player_->position()) * 10000 : 0;
}

void QtPreviewGraph::Seek(int64_t position) {
  if (player_ && player_->isSeekable()) player_->setPosition(position / 10000);
}

}  // namespace app
