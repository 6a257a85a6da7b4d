// One conversion: demux, decode, filter (trim, frame rate, scale, aspect,
// volume, resample), encode and mux, in this process, on the FFmpeg libraries.
//
// The stages live in files of their own: input and decoding (input.cpp),
// filters (filters.cpp), encoders and the encoding thread (encode.cpp,
// encode_worker.cpp) and the output (output.cpp); this file's .cpp runs them.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoder/av_handles.h"
#include "encoder/codec_choice.h"
#include "encoder/console.h"
#include "encoder/options.h"
#include "encoder/output_file.h"

namespace encoder {

struct Lane;
struct AudioFormat;
class EncodeWorker;

class Transcoder {
 public:
  // `stop_signal` turns non-zero when the process is asked to stop (SIGTERM,
  // SIGINT, SIGHUP); the conversion then ends early with a playable file.
  Transcoder(EncoderOptions options, Console& console, const std::atomic<int>& stop_signal);
  ~Transcoder();
  Transcoder(const Transcoder&) = delete;
  Transcoder& operator=(const Transcoder&) = delete;

  // Converts. Returns when the output is complete, or cut short by a stop
  // request (see Stopped). Throws EncoderError with the reason on failure; no
  // output file is left behind then.
  void Run();

  bool Stopped() const { return stopped_; }
  // Seconds of output written, for the closing message of a stopped run.
  double OutputSeconds() const { return progress_.output_us / 1e6; }
  // The source gave out before half of the range asked for could be read: the
  // file is kept as partial, and the run fails with CutShortReason().
  bool CutShort() const { return cut_short_; }
  std::string CutShortReason() const;
  // False when a stopped run had converted nothing, so no file was kept.
  bool KeptOutput() const { return encoded_frames_ > 0; }
  // Where the output was committed; empty when none was.
  std::string OutputPath() const { return output_file_ ? output_file_->committed_path() : std::string(); }

 private:
  // The run (transcoder.cpp).
  void ChooseEncoders();
  void Convert();
  void Finish();
  void EndLane(Lane& lane);
  bool AllLanesDone() const;
  bool SourceGaveOut();
  bool StopRequested() const { return stop_signal_.load() != 0; }
  // The library's error text with the latest library message as detail.
  std::string Detail(int code);

  // Input and decoding (input.cpp).
  void ResolveInput();
  void OpenInput();
  void SelectStreams();
  void AddLane(AVMediaType type, AVStream* stream, const EncoderChoice& choice);
  void SeekToStart();
  void NoteInputExtent();
  void CheckInputIntact();
  void OpenDecoder(Lane& lane);
  void DecodePacket(Lane& lane, const AVPacket* packet);
  void MendDiscontinuity(Lane& lane, AVPacket* packet);
  int64_t ExpectedDts(const Lane& lane) const;
  bool FarAhead(int64_t jump_us, int64_t at_us) const;
  bool Leaps(const Lane& lane, int64_t jump_us, int64_t at_us) const;
  int64_t LatestOfOthers(const Lane& lane) const;
  void PlanDecoding(Lane& lane, const AVPacket* packet);
  static int InterruptCallback(void* opaque);

  // Filters (filters.cpp).
  std::string TrimFilter(const char* name) const;
  std::string VideoChain(const Lane& lane, AVPixelFormat pixel_format) const;
  void SetUpVideo(Lane& lane);
  void SetUpAudio(Lane& lane);
  void BuildAudioGraph(Lane& lane, const AVFrame* parameters);
  void BuildGraph(Lane& lane, const char* source_name, const std::string& source_args, const char* sink_name,
                  const std::string& chain);
  void FilterFrame(Lane& lane, AVFrame* frame);
  void TimeVideoFrame(Lane& lane, AVFrame* frame);
  void TimeAudioFrame(Lane& lane, AVFrame* frame);
  void DrainFilters(Lane& lane, bool final_drain);

  // Encoders (encode.cpp).
  AVRational ChooseFrameRate(Lane& lane) const;
  AVPixelFormat ChoosePixelFormat(const Lane& lane) const;
  AudioFormat ChooseAudioFormat(const Lane& lane) const;
  void OpenVideoEncoder(Lane& lane);
  void OpenAudioEncoder(Lane& lane, const AudioFormat& format);
  void OpenEncoder(Lane& lane, const std::string& what);
  void SubmitFrame(Lane& lane, AVFrame* frame);
  void FlushEncoder(Lane& lane);
  void EncodeFrame(Lane& lane, AVFrame* frame);

  // Output (output.cpp).
  void AddOutputStream(Lane& lane);
  void OpenOutput();
  void WritePacket(Lane& lane, AVPacket* packet);
  void FinishOutput();

  EncoderOptions options_;
  Console& console_;
  const std::atomic<int>& stop_signal_;

  std::string input_path_;                 // the media file (the script's source for a script)
  std::optional<AVRational> script_rate_;  // the rate a script asks for
  const AVOutputFormat* muxer_ = nullptr;
  bool want_video_ = false;
  bool want_audio_ = false;
  std::optional<EncoderChoice> video_choice_;
  std::optional<EncoderChoice> audio_choice_;

  std::unique_ptr<OutputFile> output_file_;
  InputFormatPtr input_;
  FdIoPtr output_io_;  // freed after output_, which writes through it
  OutputFormatPtr output_;
  std::vector<std::unique_ptr<Lane>> lanes_;
  int64_t timeline_offset_us_ = 0;         // input time that becomes output time 0
  int64_t timestamp_shift_us_ = 0;         // taken out of the input's clock jumps so far
  bool restarting_clock_ = false;          // the container's clock may restart (MPEG streams)
  int64_t input_end_us_ = AV_NOPTS_VALUE;  // where the input's time ends, when the container says so reliably
  int64_t output_limit_us_ = INT64_MAX;    // the most output time the source can give
  int64_t input_size_ = -1;                // bytes of the input file at the start
  int64_t encoded_frames_ = 0;             // frames (pictures or sample blocks) handed to encoders
  Progress progress_;
  FramePtr frame_;
  FramePtr filtered_;
  PacketPtr packet_;
  bool stopped_ = false;
  // Bytes of the whole packets read; whether one came cut short; where the
  // reading ended when it ended at the input's end (-1 otherwise: at the
  // range's end, or on a stop).
  int64_t packet_bytes_ = 0;
  bool corrupt_packet_ = false;
  int64_t read_end_pos_ = -1;
  bool cut_short_ = false;
  int64_t asked_us_ = 0;                  // the range's length, for the reason of a cut-short run
  std::unique_ptr<EncodeWorker> worker_;  // uses the lanes: ends before them
};

}  // namespace encoder
