#include "encoder/transcoder.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "encoder/avs_script.h"
#include "encoder/encoder_error.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

namespace encoder {
namespace {

// The farthest a stream's clock may step ahead of itself, or of the other
// streams, before the step counts as damage.
constexpr int64_t kLeapUs = 10 * AV_TIME_BASE;

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string Rational(AVRational q) {
  return std::to_string(q.num) + "/" + std::to_string(q.den);
}

std::string Seconds(int64_t us) {
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64, us / AV_TIME_BASE, us % AV_TIME_BASE);
  return text;
}

// Local paths go to the file protocol explicitly, so a name such as "clip: 1.avi"
// or "-x.mp4" is never mistaken for a protocol or an option.
std::string FileUrl(const std::string& path) {
  return "file:" + path;
}

std::string LayoutName(const AVChannelLayout& layout) {
  char text[128] = {};
  av_channel_layout_describe(&layout, text, sizeof text);
  return text;
}

bool HasDecodableParameters(const AVStream* stream) {
  const AVCodecParameters* par = stream->codecpar;
  if (!avcodec_find_decoder(par->codec_id)) return false;
  if (par->codec_type == AVMEDIA_TYPE_VIDEO)
    return par->width > 0 && par->height > 0 && par->format != AV_PIX_FMT_NONE &&
           !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
  if (par->codec_type == AVMEDIA_TYPE_AUDIO)
    return par->sample_rate > 0 && par->format != AV_SAMPLE_FMT_NONE && par->ch_layout.nb_channels > 0;
  return false;
}

// The clockwise turn, in whole quarter turns (0, 90, 180, 270), a stream's
// display matrix asks for.
int DisplayRotation(const AVStream* stream) {
  size_t size = 0;
  const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!matrix || size < 9 * sizeof(int32_t)) return 0;
  const double counterclockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(counterclockwise)) return 0;
  const long quarter = std::lround(-counterclockwise / 90.0);
  return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

// A frame rate fit for the output: what was asked for, else the source's own.
AVRational SaneRate(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return AVRational{25, 1};
  const double fps = av_q2d(rate);
  if (fps < 1 || fps > 240) return AVRational{25, 1};
  return FitFrameRate(rate);
}

}  // namespace

struct Transcoder::Lane {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  AVStream* in_stream = nullptr;
  CodecContextPtr decoder;
  int64_t offset = 0;  // subtracted from decoded timestamps, in the input stream's time base

  FilterGraphPtr graph;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  std::string chain;  // the filters between source and sink, kept for rebuilding

  EncoderChoice choice;
  CodecContextPtr encoder;
  AVStream* out_stream = nullptr;

  // Video.
  AVRational frame_rate{0, 1};
  int64_t next_video_us = AV_NOPTS_VALUE;  // on the output timeline
  // Set when the source has a steady rate above the output's: pictures the rate
  // conversion will drop need not be decoded, as far as nothing refers to them.
  int64_t source_frame_duration = 0;  // in the input stream's time base

  // Audio: what the graph was built for, and where the next frame should start.
  int graph_sample_rate = 0;
  AVSampleFormat graph_sample_format = AV_SAMPLE_FMT_NONE;
  AVChannelLayout graph_layout{};
  int64_t next_audio_pts = AV_NOPTS_VALUE;  // in 1/graph_sample_rate

  // Where the next packet's decoding time should be, to notice jumps.
  int64_t next_dts_us = AV_NOPTS_VALUE;
  // The input time of the latest frame decoded, in microseconds.
  int64_t latest_us = AV_NOPTS_VALUE;
  // Where the next frame to the encoder should start (encoder time base), and
  // the last decoding time given to the muxer (output stream time base): both
  // only move forward, whatever the source's timestamps did.
  int64_t next_encode_pts = AV_NOPTS_VALUE;
  int64_t last_out_dts = AV_NOPTS_VALUE;

  bool input_done = false;       // nothing more goes into the filters
  bool filters_done = false;     // the filters have given all they will
  bool flush_submitted = false;  // the encoder's end is queued
  bool encoder_done = false;     // the encoder has given all it will (encoding thread only)

  ~Lane() { av_channel_layout_uninit(&graph_layout); }
  // A time in the input stream's time base, in microseconds.
  int64_t Us(int64_t time) const { return av_rescale_q(time, in_stream->time_base, AV_TIME_BASE_Q); }
};

Transcoder::Transcoder(EncoderOptions options, Console& console, const std::atomic<int>& stop_signal)
    : options_(std::move(options)),
      console_(console),
      stop_signal_(stop_signal),
      frame_(MakeFrame()),
      filtered_(MakeFrame()),
      packet_(MakePacket()) {}

Transcoder::~Transcoder() {
  // The encoding thread and the status lines use what follows; they end first.
  try {
    FinishWorker();
  } catch (...) {
    // Already failing: the first reason is the one reported.
  }
  console_.FinishStatus();
  // Codec and filter objects go before the format contexts they belong to.
  lanes_.clear();
  output_.reset();
  input_.reset();
}

void Transcoder::Run() {
  ResolveInput();
  // Cheap checks first: a refused output or an unknown name fails before any
  // input is read.
  output_file_ = std::make_unique<OutputFile>(options_.output, options_.overwrite);
  muxer_ = ChooseMuxer(options_.format, options_.output);
  ChooseEncoders();
  if (output_file_->SameFileAs(input_path_))
    throw EncoderError("the output " + Quoted(options_.output) + " would replace the input");
  output_file_->Create();
  OpenInput();
  SelectStreams();
  SeekToStart();
  NoteInputExtent();
  for (auto& lane : lanes_) {
    OpenDecoder(*lane);
    if (lane->type == AVMEDIA_TYPE_VIDEO)
      SetUpVideo(*lane);
    else
      SetUpAudio(*lane);
  }
  OpenOutput();
  StartWorker();
  console_.StartStatus(want_video_, progress_);
  Convert();
  Finish();
}

void Transcoder::ResolveInput() {
  input_path_ = options_.input;
  if (IsAvsScript(options_.input)) {
    AvsScript script = LoadAvsScript(options_.input);
    input_path_ = script.source_path;
    script_rate_ = script.frame_rate;
  }
}

void Transcoder::ChooseEncoders() {
  // Video goes out unless -vn says otherwise and as far as the container takes
  // video; names given are checked even if the input turns out to lack that kind.
  if (options_.video_codec) video_choice_ = FindEncoder(*options_.video_codec, AVMEDIA_TYPE_VIDEO, muxer_);
  if (options_.audio_codec) audio_choice_ = FindEncoder(*options_.audio_codec, AVMEDIA_TYPE_AUDIO, muxer_);
  want_video_ = !options_.no_video &&
                (video_choice_ || (muxer_->video_codec != AV_CODEC_ID_NONE && muxer_->video_codec != AV_CODEC_ID_PNG));
  want_audio_ = audio_choice_ || muxer_->audio_codec != AV_CODEC_ID_NONE;
  if (want_video_ && !video_choice_) video_choice_ = DefaultEncoder(muxer_, AVMEDIA_TYPE_VIDEO);
  if (want_audio_ && !audio_choice_) audio_choice_ = DefaultEncoder(muxer_, AVMEDIA_TYPE_AUDIO);
  want_video_ = want_video_ && video_choice_;
  want_audio_ = want_audio_ && audio_choice_;

  auto check_container = [&](const std::optional<EncoderChoice>& choice, const char* kind) {
    if (!choice) return;
    if (avformat_query_codec(muxer_, choice->codec->id, FF_COMPLIANCE_NORMAL) == 0) {
      throw EncoderError(std::string("the ") + muxer_->name + " container cannot hold " +
                         avcodec_get_name(choice->codec->id) + " " + kind);
    }
  };
  check_container(video_choice_, "video");
  check_container(audio_choice_, "audio");
  if (!want_video_ && !want_audio_) throw EncoderError("the output would hold no stream");
}

int Transcoder::InterruptCallback(void* opaque) {
  return static_cast<const std::atomic<int>*>(opaque)->load() != 0 ? 1 : 0;
}

void Transcoder::OpenInput() {
  AVFormatContext* context = avformat_alloc_context();
  if (!context) throw std::bad_alloc();
  // A stop request also breaks off a read that waits for data.
  context->interrupt_callback.callback = &Transcoder::InterruptCallback;
  context->interrupt_callback.opaque = const_cast<std::atomic<int>*>(&stop_signal_);
  console_.TakeLastLibraryMessage();
  int result = avformat_open_input(&context, FileUrl(input_path_).c_str(), nullptr, nullptr);
  if (result < 0) throw EncoderError("cannot open the input " + Quoted(input_path_) + ": " + Detail(result));
  input_.reset(context);
  result = avformat_find_stream_info(input_.get(), nullptr);
  if (result < 0) throw EncoderError("cannot read the input " + Quoted(input_path_) + ": " + Detail(result));
}

void Transcoder::SelectStreams() {
  AVFormatContext* input = input_.get();
  auto pick = [&](AVMediaType type) -> AVStream* {
    const int best = av_find_best_stream(input, type, -1, -1, nullptr, 0);
    if (best >= 0 && HasDecodableParameters(input->streams[best])) return input->streams[best];
    for (unsigned i = 0; i < input->nb_streams; ++i) {
      AVStream* stream = input->streams[i];
      if (stream->codecpar->codec_type == type && HasDecodableParameters(stream)) return stream;
    }
    return nullptr;
  };
  AVStream* video = pick(AVMEDIA_TYPE_VIDEO);
  AVStream* audio = pick(AVMEDIA_TYPE_AUDIO);
  if (!video && !audio) throw EncoderError("no decodable audio or video stream in " + Quoted(input_path_));

  if (want_video_ && video) {
    auto lane = std::make_unique<Lane>();
    lane->type = AVMEDIA_TYPE_VIDEO;
    lane->in_stream = video;
    lane->choice = *video_choice_;
    lanes_.push_back(std::move(lane));
  }
  if (want_audio_ && audio) {
    auto lane = std::make_unique<Lane>();
    lane->type = AVMEDIA_TYPE_AUDIO;
    lane->in_stream = audio;
    lane->choice = *audio_choice_;
    lanes_.push_back(std::move(lane));
  }
  if (lanes_.empty()) {
    throw EncoderError("the input " + Quoted(input_path_) + " has no " + (want_audio_ ? "audio" : "video") +
                       " stream for this output");
  }
  // Streams nobody reads are not even demuxed into packets.
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const bool used = std::any_of(lanes_.begin(), lanes_.end(),
                                  [&](const auto& lane) { return lane->in_stream == input->streams[i]; });
    if (!used) input->streams[i]->discard = AVDISCARD_ALL;
  }
}

void Transcoder::SeekToStart() {
  const int64_t file_start = input_->start_time != AV_NOPTS_VALUE ? input_->start_time : 0;
  timeline_offset_us_ = file_start + options_.start_us.value_or(0);
  if (options_.start_us && *options_.start_us > 0) {
    // To the key frame at or before the start; the trim filters drop what lies
    // before it, so the output starts at the very frame and sample asked for.
    avformat_seek_file(input_.get(), -1, INT64_MIN, timeline_offset_us_, timeline_offset_us_, 0);
  }
  for (auto& lane : lanes_)
    lane->offset = av_rescale_q(timeline_offset_us_, AV_TIME_BASE_Q, lane->in_stream->time_base);
}

void Transcoder::OpenDecoder(Lane& lane) {
  const AVCodec* codec = avcodec_find_decoder(lane.in_stream->codecpar->codec_id);
  lane.decoder.reset(avcodec_alloc_context3(codec));
  if (!lane.decoder) throw std::bad_alloc();
  AVCodecContext* decoder = lane.decoder.get();
  int result = avcodec_parameters_to_context(decoder, lane.in_stream->codecpar);
  if (result < 0) throw EncoderError("cannot set up the " + std::string(codec->name) + " decoder");
  decoder->pkt_timebase = lane.in_stream->time_base;
  // The library decodes on one thread unless told otherwise.
  decoder->thread_count = 0;
  decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  console_.TakeLastLibraryMessage();
  result = avcodec_open2(decoder, codec, nullptr);
  if (result < 0) {
    throw EncoderError("cannot start the " + std::string(codec->name) + " decoder for " + Quoted(input_path_) + ": " +
                       Detail(result));
  }
  if (decoder->codec_type == AVMEDIA_TYPE_AUDIO && decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = decoder->ch_layout.nb_channels;
    av_channel_layout_uninit(&decoder->ch_layout);
    av_channel_layout_default(&decoder->ch_layout, channels);
  }
}

void Transcoder::BuildGraph(Lane& lane, const char* source_name, const std::string& source_args, const char* sink_name,
                            const std::string& chain) {
  lane.graph.reset(avfilter_graph_alloc());
  if (!lane.graph) throw std::bad_alloc();
  lane.graph->nb_threads = 0;  // as many as the machine has
  lane.source = nullptr;
  lane.sink = nullptr;
  auto fail = [&](int code) { throw EncoderError("cannot set up the filters \"" + chain + "\": " + Detail(code)); };
  int result = avfilter_graph_create_filter(&lane.source, avfilter_get_by_name(source_name), "in", source_args.c_str(),
                                            nullptr, lane.graph.get());
  if (result < 0) fail(result);
  result = avfilter_graph_create_filter(&lane.sink, avfilter_get_by_name(sink_name), "out", nullptr, nullptr,
                                        lane.graph.get());
  if (result < 0) fail(result);

  FilterInOutPtr outputs(avfilter_inout_alloc());
  FilterInOutPtr inputs(avfilter_inout_alloc());
  if (!outputs || !inputs) throw std::bad_alloc();
  outputs->name = av_strdup("in");
  outputs->filter_ctx = lane.source;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = lane.sink;
  AVFilterInOut* raw_inputs = inputs.release();
  AVFilterInOut* raw_outputs = outputs.release();
  result = avfilter_graph_parse_ptr(lane.graph.get(), chain.c_str(), &raw_inputs, &raw_outputs, nullptr);
  inputs.reset(raw_inputs);
  outputs.reset(raw_outputs);
  if (result < 0) fail(result);
  result = avfilter_graph_config(lane.graph.get(), nullptr);
  if (result < 0) fail(result);
}

// The output range on the shifted timeline, where 0 is the start asked for:
// what lies before 0 (decoded from the key frame before the start) and what
// lies beyond the length is cut, frame- and sample-accurately.
std::string Transcoder::TrimFilter(const char* name) const {
  std::vector<std::string> limits;
  if (options_.start_us) limits.push_back("start=0");
  if (options_.length_us && *options_.length_us > 0) limits.push_back("end=" + Seconds(*options_.length_us));
  if (limits.empty()) return {};
  std::string filter = std::string(name) + "=";
  for (size_t i = 0; i < limits.size(); ++i) filter += (i ? ":" : "") + limits[i];
  return filter + ",";
}

void Transcoder::SetUpVideo(Lane& lane) {
  const AVCodecContext* decoder = lane.decoder.get();
  const AVCodec* codec = lane.choice.codec;
  const AVRational source_rate = av_guess_frame_rate(input_.get(), lane.in_stream, nullptr);
  lane.frame_rate = options_.frame_rate ? *options_.frame_rate : script_rate_ ? *script_rate_ : SaneRate(source_rate);
  const AVRational average_rate = lane.in_stream->avg_frame_rate;
  const bool steady = source_rate.num > 0 && source_rate.den > 0 && average_rate.num > 0 && average_rate.den > 0 &&
                      std::fabs(av_q2d(source_rate) / av_q2d(average_rate) - 1) < 1e-3;
  if (steady && av_cmp_q(source_rate, lane.frame_rate) > 0)
    lane.source_frame_duration = av_rescale_q(1, av_inv_q(source_rate), lane.in_stream->time_base);

  AVPixelFormat pixel_format = decoder->pix_fmt;
  if (codec->pix_fmts) {
    bool supported = false;
    for (const AVPixelFormat* format = codec->pix_fmts; *format != AV_PIX_FMT_NONE; ++format)
      supported = supported || *format == decoder->pix_fmt;
    if (!supported) pixel_format = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, decoder->pix_fmt, 0, nullptr);
  }

  std::string chain = TrimFilter("trim");
  // The rate comes first so only the frames kept are turned and scaled.
  chain += "fps=fps=" + Rational(lane.frame_rate) + ":start_time=0";
  // Pictures filmed upright on a phone carry a rotation that players apply.
  const int turn = DisplayRotation(lane.in_stream);
  if (turn == 90) chain += ",transpose=clock";
  if (turn == 180) chain += ",hflip,vflip";
  if (turn == 270) chain += ",transpose=cclock";
  const bool sideways = turn == 90 || turn == 270;
  const int width = options_.frame_size ? options_.frame_size->width : sideways ? decoder->height : decoder->width;
  const int height = options_.frame_size ? options_.frame_size->height : sideways ? decoder->width : decoder->height;
  chain += ",scale=" + std::to_string(width) + ":" + std::to_string(height);
  chain += std::string(",format=pix_fmts=") + av_get_pix_fmt_name(pixel_format);
  if (options_.aspect) chain += ",setdar=dar=" + Rational(*options_.aspect);

  AVRational sample_aspect = lane.in_stream->codecpar->sample_aspect_ratio;
  if (sample_aspect.num <= 0 || sample_aspect.den <= 0) sample_aspect = AVRational{0, 1};
  const std::string source_args = "video_size=" + std::to_string(decoder->width) + "x" +
                                  std::to_string(decoder->height) +
                                  ":pix_fmt=" + av_get_pix_fmt_name(decoder->pix_fmt) +
                                  ":time_base=" + Rational(AV_TIME_BASE_Q) + ":pixel_aspect=" + Rational(sample_aspect);
  lane.chain = chain;
  BuildGraph(lane, "buffer", source_args, "buffersink", chain);

  lane.encoder.reset(avcodec_alloc_context3(codec));
  if (!lane.encoder) throw std::bad_alloc();
  AVCodecContext* encoder = lane.encoder.get();
  encoder->width = av_buffersink_get_w(lane.sink);
  encoder->height = av_buffersink_get_h(lane.sink);
  encoder->pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(lane.sink));
  encoder->sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(lane.sink);
  encoder->framerate = lane.frame_rate;
  encoder->time_base = av_inv_q(lane.frame_rate);
  if (options_.video_bitrate) encoder->bit_rate = *options_.video_bitrate;
  OpenEncoder(lane, codec,
              std::to_string(encoder->width) + "x" + std::to_string(encoder->height) + ", " +
                  Rational(lane.frame_rate) + " fps");
}

// The settings every encoder shares, then the open; `what` names the format in the error.
void Transcoder::OpenEncoder(Lane& lane, const AVCodec* codec, const std::string& what) {
  AVCodecContext* encoder = lane.encoder.get();
  encoder->thread_count = 0;
  if (lane.choice.codec_tag) encoder->codec_tag = lane.choice.codec_tag;
  if (muxer_->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  console_.TakeLastLibraryMessage();
  const int result = avcodec_open2(encoder, codec, nullptr);
  if (result < 0)
    throw EncoderError("cannot start the " + std::string(codec->name) + " encoder at " + what + ": " + Detail(result));
}

void Transcoder::SetUpAudio(Lane& lane) {
  const AVCodecContext* decoder = lane.decoder.get();
  const AVCodec* codec = lane.choice.codec;

  int sample_rate = options_.sample_rate.value_or(decoder->sample_rate);
  if (codec->supported_samplerates) {
    bool supported = false;
    int nearest = codec->supported_samplerates[0];
    for (const int* rate = codec->supported_samplerates; *rate; ++rate) {
      supported = supported || *rate == sample_rate;
      if (std::abs(*rate - sample_rate) < std::abs(nearest - sample_rate)) nearest = *rate;
    }
    if (!supported && options_.sample_rate) {
      throw EncoderError("the " + std::string(codec->name) + " encoder cannot write " + std::to_string(sample_rate) +
                         " samples per second");
    }
    if (!supported) sample_rate = nearest;
  }

  AVChannelLayout layout{};
  if (options_.channels)
    av_channel_layout_default(&layout, *options_.channels);
  else
    av_channel_layout_copy(&layout, &decoder->ch_layout);
  if (codec->ch_layouts) {
    const AVChannelLayout* same = nullptr;
    const AVChannelLayout* same_count = nullptr;
    const AVChannelLayout* stereo = nullptr;
    for (const AVChannelLayout* candidate = codec->ch_layouts; candidate->nb_channels; ++candidate) {
      if (!same && av_channel_layout_compare(candidate, &layout) == 0) same = candidate;
      if (!same_count && candidate->nb_channels == layout.nb_channels) same_count = candidate;
      if (!stereo && candidate->nb_channels == 2) stereo = candidate;
    }
    const AVChannelLayout* chosen = same ? same : same_count;
    if (!chosen && options_.channels) {
      av_channel_layout_uninit(&layout);
      throw EncoderError("the " + std::string(codec->name) + " encoder cannot write " +
                         std::to_string(*options_.channels) + " channels");
    }
    if (!chosen) chosen = stereo ? stereo : codec->ch_layouts;
    AVChannelLayout copy{};
    av_channel_layout_copy(&copy, chosen);
    av_channel_layout_uninit(&layout);
    layout = copy;
  }

  AVSampleFormat sample_format = decoder->sample_fmt;
  if (codec->sample_fmts) {
    bool supported = false;
    for (const AVSampleFormat* format = codec->sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format)
      supported = supported || *format == decoder->sample_fmt;
    if (!supported) sample_format = codec->sample_fmts[0];
  }

  std::string chain = TrimFilter("atrim");
  // The classic volume value: 256 leaves the level alone.
  if (options_.volume && *options_.volume != 256)
    chain += "volume=volume=" + std::to_string(*options_.volume) + "/256:precision=float,";
  chain += "aresample=" + std::to_string(sample_rate);
  chain += std::string(",aformat=sample_fmts=") + av_get_sample_fmt_name(sample_format) +
           ":sample_rates=" + std::to_string(sample_rate) + ":channel_layouts=" + LayoutName(layout);
  lane.chain = chain;

  lane.encoder.reset(avcodec_alloc_context3(codec));
  if (!lane.encoder) {
    av_channel_layout_uninit(&layout);
    throw std::bad_alloc();
  }
  AVCodecContext* encoder = lane.encoder.get();
  encoder->sample_fmt = sample_format;
  encoder->sample_rate = sample_rate;
  av_channel_layout_uninit(&encoder->ch_layout);
  encoder->ch_layout = layout;  // the encoder owns it from here
  encoder->time_base = AVRational{1, sample_rate};
  if (options_.audio_bitrate) encoder->bit_rate = *options_.audio_bitrate;
  OpenEncoder(lane, codec,
              std::to_string(sample_rate) + " Hz, " + std::to_string(encoder->ch_layout.nb_channels) + " channels");
  BuildAudioGraph(lane, nullptr);
}

// Builds the audio filters for the decoder's parameters, or for those of a
// frame when the source changes its audio format midway.
void Transcoder::BuildAudioGraph(Lane& lane, const AVFrame* parameters) {
  const AVCodecContext* decoder = lane.decoder.get();
  av_channel_layout_uninit(&lane.graph_layout);
  if (parameters) {
    lane.graph_sample_rate = parameters->sample_rate;
    lane.graph_sample_format = static_cast<AVSampleFormat>(parameters->format);
    av_channel_layout_copy(&lane.graph_layout, &parameters->ch_layout);
  } else {
    lane.graph_sample_rate = decoder->sample_rate;
    lane.graph_sample_format = decoder->sample_fmt;
    av_channel_layout_copy(&lane.graph_layout, &decoder->ch_layout);
  }
  lane.next_audio_pts = AV_NOPTS_VALUE;
  const std::string source_args = "time_base=1/" + std::to_string(lane.graph_sample_rate) +
                                  ":sample_rate=" + std::to_string(lane.graph_sample_rate) +
                                  ":sample_fmt=" + av_get_sample_fmt_name(lane.graph_sample_format) +
                                  ":channel_layout=" + LayoutName(lane.graph_layout);
  BuildGraph(lane, "abuffer", source_args, "abuffersink", lane.chain);
  const AVCodecContext* encoder = lane.encoder.get();
  // Encoders such as AAC take whole frames of a fixed size.
  if (encoder->frame_size > 0 && !(encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
    av_buffersink_set_frame_size(lane.sink, encoder->frame_size);
}

void Transcoder::AddOutputStream(Lane& lane) {
  lane.out_stream = avformat_new_stream(output_.get(), nullptr);
  if (!lane.out_stream) throw std::bad_alloc();
  const int result = avcodec_parameters_from_context(lane.out_stream->codecpar, lane.encoder.get());
  if (result < 0) throw EncoderError("cannot describe the output stream: " + AvErrorText(result));
  lane.out_stream->time_base = lane.encoder->time_base;
  lane.out_stream->codecpar->codec_tag = lane.choice.codec_tag;
  if (lane.type == AVMEDIA_TYPE_VIDEO) {
    lane.out_stream->avg_frame_rate = lane.frame_rate;
    lane.out_stream->r_frame_rate = lane.frame_rate;
    lane.out_stream->sample_aspect_ratio = lane.encoder->sample_aspect_ratio;
  }
}

void Transcoder::OpenOutput() {
  AVFormatContext* context = nullptr;
  int result = avformat_alloc_output_context2(&context, muxer_, nullptr, options_.output.c_str());
  if (result < 0 || !context) throw EncoderError("cannot set up the output: " + AvErrorText(result));
  output_.reset(context);
  for (auto& lane : lanes_) AddOutputStream(*lane);
  // The muxer writes through the descriptor the output file was created with,
  // never through a name.
  output_io_ = MakeFdIo(output_file_->fd());
  output_->pb = output_io_.get();
  output_->flags |= AVFMT_FLAG_CUSTOM_IO;
  console_.TakeLastLibraryMessage();
  result = avformat_write_header(output_.get(), nullptr);
  if (result < 0) throw EncoderError("cannot write " + Quoted(options_.output) + ": " + Detail(result));
}

std::string Transcoder::Detail(int code) {
  std::string text = AvErrorText(code);
  const std::string message = console_.TakeLastLibraryMessage();
  if (!message.empty() && message != text) text += " (" + message + ")";
  return text;
}

bool Transcoder::AllLanesDone() const {
  return std::all_of(lanes_.begin(), lanes_.end(), [](const auto& lane) { return lane->filters_done; });
}

void Transcoder::Convert() {
  while (!AllLanesDone()) {
    if (StopRequested()) {
      stopped_ = true;
      return;
    }
    const int result = av_read_frame(input_.get(), packet_.get());
    if (result == AVERROR(EAGAIN)) {
      av_usleep(10000);
      continue;
    }
    // The end of the input, or data the demuxer cannot make sense of: what was
    // read is kept, as players would play it. A failing read is not the end.
    if (result < 0) {
      if (StopRequested()) break;
      CheckInputIntact();
      break;
    }
    for (auto& lane : lanes_) {
      if (lane->in_stream->index != packet_->stream_index || lane->input_done) continue;
      MendDiscontinuity(*lane, packet_.get());
      if (lane->source_frame_duration > 0) PlanDecoding(*lane, packet_.get());
      DecodePacket(*lane, packet_.get());
    }
    av_packet_unref(packet_.get());
  }
  if (StopRequested()) stopped_ = true;
}

// What the rest of the run checks the input against: its size, to notice a
// file cut short while it is read, and where its time ends.
void Transcoder::NoteInputExtent() {
  if (input_->pb) input_size_ = avio_size(input_->pb);  // 0 for a pipe
  restarting_clock_ = input_->iformat->flags & AVFMT_TS_DISCONT;
  // A duration guessed from the bit rate is too rough to judge timestamps by.
  if (input_->duration > 0 && input_->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
    const int64_t start = input_->start_time != AV_NOPTS_VALUE ? input_->start_time : 0;
    input_end_us_ = start + input_->duration;
    output_limit_us_ = std::max<int64_t>(input_end_us_ - timeline_offset_us_, 0);
  }
  if (options_.length_us) output_limit_us_ = std::min(output_limit_us_, *options_.length_us);
}

// A read that failed, or a file that got shorter than it was at the start,
// means the output would silently miss the rest: that is a failure. A file
// deleted while open still reads to its end and is fine.
void Transcoder::CheckInputIntact() {
  if (!input_->pb) return;
  const int error = input_->pb->error;
  if (error < 0 && error != AVERROR_EOF && error != AVERROR_EXIT)
    throw EncoderError("cannot read the input " + Quoted(input_path_) + ": " + AvErrorText(error));
  if (input_size_ > 0 && avio_size(input_->pb) < input_size_)
    throw EncoderError("the input " + Quoted(input_path_) + " was cut short during the conversion");
}

// MPEG program and transport streams may restart their clock midway (joined
// recordings, DVD cells), and a damaged timestamp in any container makes the
// same jump. A jump backwards, or far forwards, is taken out of all later
// timestamps so the pictures after it are not dropped as late, nor a long gap
// filled with copies. A single damaged timestamp jumps there and back, and the
// second jump undoes the first.
void Transcoder::MendDiscontinuity(Lane& lane, AVPacket* packet) {
  if (packet->dts == AV_NOPTS_VALUE) return;
  const AVRational time_base = lane.in_stream->time_base;
  const int64_t shift = av_rescale_q(timestamp_shift_us_, AV_TIME_BASE_Q, time_base);
  packet->dts += shift;
  if (packet->pts != AV_NOPTS_VALUE) packet->pts += shift;
  int64_t dts_us = av_rescale_q(packet->dts, time_base, AV_TIME_BASE_Q);
  if (lane.next_dts_us != AV_NOPTS_VALUE) {
    const int64_t jump = dts_us - lane.next_dts_us;
    // Elsewhere small steps back are sloppy muxing, left to the repair at the muxer.
    const int64_t back_limit = restarting_clock_ ? AV_TIME_BASE / 10 : AV_TIME_BASE;
    if (FarAhead(jump, dts_us) || jump < -back_limit) {
      timestamp_shift_us_ -= jump;
      const int64_t correction = av_rescale_q(jump, AV_TIME_BASE_Q, time_base);
      packet->dts -= correction;
      if (packet->pts != AV_NOPTS_VALUE) packet->pts -= correction;
      dts_us -= jump;
    }
  }
  int64_t duration_us = packet->duration > 0 ? av_rescale_q(packet->duration, time_base, AV_TIME_BASE_Q) : 0;
  const AVRational rate = lane.in_stream->r_frame_rate;
  if (duration_us == 0 && lane.type == AVMEDIA_TYPE_VIDEO && rate.num > 0 && rate.den > 0)
    duration_us = av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q);
  lane.next_dts_us = dts_us + duration_us;
}

// Whether a forward jump (by `jump_us`, to `at_us` on the input's clock) is
// one no sound source makes. Past the end the container gives, a second is
// enough. Within it the jump may be real (a picture held for long); only a
// clock that is known to restart, or has no known end, is judged by the size
// of the jump alone.
bool Transcoder::FarAhead(int64_t jump_us, int64_t at_us) const {
  if (jump_us <= AV_TIME_BASE) return false;
  const bool past_end = input_end_us_ != AV_NOPTS_VALUE && at_us > input_end_us_ + AV_TIME_BASE;
  if (input_end_us_ == AV_NOPTS_VALUE || restarting_clock_) return past_end || jump_us > kLeapUs;
  return past_end;
}

// A decoded frame that jumps ahead of its predecessor and far ahead of every
// other stream is damaged too: streams are stored side by side in time, and a
// picture may be held for long while the sound goes on, but not run ahead of it.
bool Transcoder::Leaps(const Lane& lane, int64_t jump_us, int64_t at_us) const {
  if (jump_us <= AV_TIME_BASE) return false;
  const int64_t others_us = LatestOfOthers(lane);
  if (others_us != AV_NOPTS_VALUE && at_us > others_us + kLeapUs) return true;
  return FarAhead(jump_us, at_us);
}

// The latest input time the other streams still going have reached, if any.
int64_t Transcoder::LatestOfOthers(const Lane& lane) const {
  int64_t latest = AV_NOPTS_VALUE;
  for (const auto& other : lanes_) {
    if (other.get() != &lane && !other->input_done && other->latest_us != AV_NOPTS_VALUE)
      latest = std::max(latest, other->latest_us);
  }
  return latest;
}

// Works out, before decoding, whether the picture in a packet will be cut by
// the range or dropped by the rate conversion, which keeps of each output
// slot the last picture whose time, rounded to the slot, is not later. The
// decoder then skips it if no other picture refers to it (most B-pictures),
// which spares a good part of the decoding when 25 or 30 frames per second
// become 15. A steady source rate gives the time of the next picture.
void Transcoder::PlanDecoding(Lane& lane, const AVPacket* packet) {
  AVCodecContext* decoder = lane.decoder.get();
  decoder->skip_frame = AVDISCARD_DEFAULT;
  if (packet->pts == AV_NOPTS_VALUE) return;
  if (packet->duration > 0 && packet->duration != lane.source_frame_duration) return;  // not as steady as it said
  const AVRational time_base = lane.in_stream->time_base;
  const int64_t pts = packet->pts - lane.offset;
  bool dropped = false;
  if (options_.start_us && pts < 0) dropped = true;
  if (options_.length_us && av_rescale_q(pts, time_base, AV_TIME_BASE_Q) >= *options_.length_us) dropped = true;
  if (!dropped && pts >= 0) {
    const AVRational slot = av_inv_q(lane.frame_rate);
    const auto rounding = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
    const int64_t this_slot = av_rescale_q_rnd(pts, time_base, slot, rounding);
    const int64_t next_slot = av_rescale_q_rnd(pts + lane.source_frame_duration, time_base, slot, rounding);
    dropped = next_slot <= this_slot;
  }
  if (dropped) decoder->skip_frame = AVDISCARD_NONREF;
}

void Transcoder::Finish() {
  for (auto& lane : lanes_) {
    // A stopped run drops what the decoders still hold: ending quickly matters more.
    if (!stopped_ && !lane->input_done) DecodePacket(*lane, nullptr);
    if (!lane->input_done) {
      lane->input_done = true;
      const int result = av_buffersrc_add_frame(lane->source, nullptr);
      if (result < 0 && result != AVERROR_EOF) throw EncoderError("filter error: " + AvErrorText(result));
    }
    if (!lane->filters_done) DrainFilters(*lane, true);
    FlushEncoder(*lane);
  }
  FinishWorker();
  int result = av_write_trailer(output_.get());
  if (result < 0) throw EncoderError("cannot finish " + Quoted(options_.output) + ": " + Detail(result));
  if (output_->pb) {
    avio_flush(output_->pb);
    // Muxers that patch their headers at the end leave the position short of the end.
    progress_.bytes = std::max<int64_t>(avio_tell(output_->pb), avio_size(output_->pb));
    if (output_->pb->error < 0)
      throw EncoderError("cannot write " + Quoted(options_.output) + ": " + AvErrorText(output_->pb->error));
  }
  console_.FinishStatus();

  // A file without a single frame plays nowhere; it is not kept.
  if (encoded_frames_ == 0) {
    if (stopped_) return;
    if (options_.start_us && *options_.start_us > 0)
      throw EncoderError("nothing to convert: the input " + Quoted(input_path_) + " ends before the start position");
    throw EncoderError("nothing could be decoded from " + Quoted(input_path_));
  }
  output_file_->Commit();
}

void Transcoder::DecodePacket(Lane& lane, const AVPacket* packet) {
  // A damaged packet is skipped, as players do; the frames around it still count.
  avcodec_send_packet(lane.decoder.get(), packet);
  while (avcodec_receive_frame(lane.decoder.get(), frame_.get()) >= 0) {
    if (!lane.input_done) FilterFrame(lane, frame_.get());
    av_frame_unref(frame_.get());
  }
}

void Transcoder::FilterFrame(Lane& lane, AVFrame* frame) {
  int64_t pts = frame->best_effort_timestamp;
  if (lane.type == AVMEDIA_TYPE_VIDEO) {
    // Pictures go to the filters in microseconds: some containers count in
    // steps too coarse to place a picture between two others.
    int64_t pts_us = lane.next_video_us;
    if (pts != AV_NOPTS_VALUE) {
      pts_us = lane.Us(pts - lane.offset);
      // A damaged time that leaps ahead would have the rate conversion fill
      // the leap with copies: the picture goes where the sound is instead, or
      // follows on when there is no sound.
      if (lane.next_video_us != AV_NOPTS_VALUE &&
          Leaps(lane, pts_us - lane.next_video_us, pts_us + timeline_offset_us_)) {
        const int64_t others_us = LatestOfOthers(lane);
        pts_us = others_us != AV_NOPTS_VALUE ? others_us - timeline_offset_us_ : lane.next_video_us;
      }
    }
    if (pts_us == AV_NOPTS_VALUE) pts_us = 0;
    frame->pts = pts_us;
    lane.latest_us = pts_us + timeline_offset_us_;
    // A picture said to last for ages is damage too; the next one is expected
    // a frame later.
    const int64_t nominal_us = av_rescale_q(1, av_inv_q(lane.frame_rate), AV_TIME_BASE_Q);
    int64_t duration_us = frame->pkt_duration > 0 ? lane.Us(frame->pkt_duration) : nominal_us;
    if (duration_us > kLeapUs) duration_us = nominal_us;
    lane.next_video_us = pts_us + std::max<int64_t>(duration_us, 1);
  } else {
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      const int channels = frame->ch_layout.nb_channels;
      av_channel_layout_uninit(&frame->ch_layout);
      av_channel_layout_default(&frame->ch_layout, channels);
    }
    if (frame->sample_rate != lane.graph_sample_rate || frame->format != lane.graph_sample_format ||
        av_channel_layout_compare(&frame->ch_layout, &lane.graph_layout) != 0) {
      // The source changed its audio format: empty the old filters into the
      // encoder and carry on with new ones for the new format.
      const int closed = av_buffersrc_add_frame(lane.source, nullptr);
      if (closed < 0 && closed != AVERROR_EOF) throw EncoderError("filter error: " + AvErrorText(closed));
      DrainFilters(lane, false);
      BuildAudioGraph(lane, frame);
    }
    // Timestamps in samples; tiny jitter from coarse container clocks is ironed
    // out so the resampler sees a continuous stream.
    const AVRational sample_time_base{1, frame->sample_rate};
    int64_t sample_pts = AV_NOPTS_VALUE;
    if (pts != AV_NOPTS_VALUE)
      sample_pts = av_rescale_q(pts - lane.offset, lane.in_stream->time_base, sample_time_base);
    // A damaged time far ahead is not followed either.
    const bool near = sample_pts != AV_NOPTS_VALUE && lane.next_audio_pts != AV_NOPTS_VALUE &&
                      std::llabs(sample_pts - lane.next_audio_pts) <= frame->sample_rate / 1000;
    const bool far_ahead =
        sample_pts != AV_NOPTS_VALUE && lane.next_audio_pts != AV_NOPTS_VALUE &&
        Leaps(lane, av_rescale_q(sample_pts - lane.next_audio_pts, sample_time_base, AV_TIME_BASE_Q), lane.Us(pts));
    if (lane.next_audio_pts != AV_NOPTS_VALUE && (sample_pts == AV_NOPTS_VALUE || near || far_ahead))
      sample_pts = lane.next_audio_pts;
    if (sample_pts == AV_NOPTS_VALUE) sample_pts = 0;
    frame->pts = sample_pts;
    lane.latest_us = av_rescale_q(sample_pts, sample_time_base, AV_TIME_BASE_Q) + lane.Us(lane.offset);
    lane.next_audio_pts = sample_pts + frame->nb_samples;
  }
  const int result = av_buffersrc_add_frame_flags(lane.source, frame, 0);
  if (result == AVERROR_EOF) {
    lane.input_done = true;
  } else if (result < 0) {
    throw EncoderError("filter error: " + AvErrorText(result));
  }
  DrainFilters(lane, true);
}

// Takes every frame the filters have ready to the encoder. The final drain
// also closes the encoder once the filters have ended; a drain before a
// rebuild only empties the old filters.
void Transcoder::DrainFilters(Lane& lane, bool final_drain) {
  while (true) {
    // One frame in can bring many out (a rate conversion filling a gap): a
    // stop request must not wait for them all.
    if (StopRequested()) {
      stopped_ = true;
      return;
    }
    const int result = av_buffersink_get_frame(lane.sink, filtered_.get());
    if (result == AVERROR(EAGAIN)) return;
    if (result == AVERROR_EOF) {
      if (final_drain) {
        lane.filters_done = true;
        lane.input_done = true;
      }
      return;
    }
    if (result < 0) throw EncoderError("filter error: " + AvErrorText(result));
    // A short frame is only allowed as the very last one; a rebuild drops it.
    const bool partial = lane.type == AVMEDIA_TYPE_AUDIO && !final_drain && lane.encoder->frame_size > 0 &&
                         filtered_->nb_samples < lane.encoder->frame_size &&
                         !(lane.encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    // A zero length still makes a file players accept: one picture, one block
    // of sound.
    const bool single = options_.length_us && *options_.length_us == 0;
    if (!partial) SubmitFrame(lane, filtered_.get());
    av_frame_unref(filtered_.get());
    if (single) {
      lane.filters_done = true;
      lane.input_done = true;
      return;
    }
  }
}

// Encoding and writing run on a thread of their own, fed through a short
// queue, so that decoding and encoding overlap: the decoders of common sources
// keep only part of the cores busy, and sound decoders only one.
void Transcoder::StartWorker() {
  worker_ = std::thread([this] { WorkerLoop(); });
}

void Transcoder::WorkerLoop() {
  while (true) {
    Job job;
    {
      std::unique_lock lock(queue_mutex_);
      queue_changed_.wait(lock, [this] { return !queue_.empty() || worker_closing_; });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    queue_changed_.notify_all();
    if (worker_error_) continue;  // after a failure the rest is only let through
    try {
      EncodeFrame(*job.lane, job.frame.get());
    } catch (...) {
      {
        std::lock_guard lock(queue_mutex_);
        worker_error_ = std::current_exception();
      }
      queue_changed_.notify_all();
    }
  }
}

void Transcoder::Submit(Lane& lane, FramePtr frame) {
  std::unique_lock lock(queue_mutex_);
  queue_changed_.wait(lock, [this] { return queue_.size() < kQueuedFrames || worker_error_; });
  if (worker_error_) std::rethrow_exception(worker_error_);
  queue_.push_back(Job{&lane, std::move(frame)});
  lock.unlock();
  queue_changed_.notify_all();
}

void Transcoder::SubmitFrame(Lane& lane, AVFrame* frame) {
  FramePtr job_frame = MakeFrame();
  av_frame_move_ref(job_frame.get(), frame);
  // Into the encoder's clock here: the filters may be rebuilt meanwhile.
  job_frame->pts = av_rescale_q(job_frame->pts, av_buffersink_get_time_base(lane.sink), lane.encoder->time_base);
  // Frames reach the encoder in time order: an overlap left by a rebuilt
  // filter chain or a damaged timestamp is moved to follow on.
  if (lane.next_encode_pts != AV_NOPTS_VALUE && job_frame->pts < lane.next_encode_pts)
    job_frame->pts = lane.next_encode_pts;
  const int64_t length =
      lane.type == AVMEDIA_TYPE_AUDIO
          ? av_rescale_q(job_frame->nb_samples, AVRational{1, job_frame->sample_rate}, lane.encoder->time_base)
          : 1;
  lane.next_encode_pts = job_frame->pts + std::max<int64_t>(length, 1);
  // The decoder's picture types would force key frames where the source had them.
  if (lane.type == AVMEDIA_TYPE_VIDEO) job_frame->pict_type = AV_PICTURE_TYPE_NONE;
  ++encoded_frames_;
  Submit(lane, std::move(job_frame));
}

void Transcoder::FinishWorker() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(queue_mutex_);
    worker_closing_ = true;
  }
  queue_changed_.notify_all();
  worker_.join();
  if (worker_error_) std::rethrow_exception(worker_error_);
}

void Transcoder::EncodeFrame(Lane& lane, AVFrame* frame) {
  if (lane.encoder_done) return;
  AVCodecContext* encoder = lane.encoder.get();
  int result = avcodec_send_frame(encoder, frame);
  if (result < 0 && result != AVERROR_EOF) {
    throw EncoderError("the " + std::string(encoder->codec->name) + " encoder failed: " + AvErrorText(result));
  }
  PacketPtr packet = MakePacket();
  while (true) {
    result = avcodec_receive_packet(encoder, packet.get());
    if (result == AVERROR(EAGAIN)) return;
    if (result == AVERROR_EOF) {
      lane.encoder_done = true;
      return;
    }
    if (result < 0) {
      throw EncoderError("the " + std::string(encoder->codec->name) + " encoder failed: " + AvErrorText(result));
    }
    WritePacket(lane, packet.get());
  }
}

void Transcoder::FlushEncoder(Lane& lane) {
  if (lane.flush_submitted) return;
  lane.flush_submitted = true;
  Submit(lane, nullptr);
}

void Transcoder::WritePacket(Lane& lane, AVPacket* packet) {
  if (lane.type == AVMEDIA_TYPE_VIDEO) {
    ++progress_.frames;
    size_t size = 0;
    if (const uint8_t* stats = av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size); stats && size >= 4) {
      const uint32_t lambda = stats[0] | (stats[1] << 8) | (stats[2] << 16) | (static_cast<uint32_t>(stats[3]) << 24);
      // Some encoders leave no quality on their last packets: nothing to show then.
      if (lambda <= FF_LAMBDA_MAX) progress_.quality = static_cast<double>(lambda) / FF_QP2LAMBDA;
    }
  }
  packet->stream_index = lane.out_stream->index;
  av_packet_rescale_ts(packet, lane.encoder->time_base, lane.out_stream->time_base);
  // The muxer refuses decoding times that do not grow; they are mended here
  // as the last line of the timestamp repair.
  if (packet->dts != AV_NOPTS_VALUE && lane.last_out_dts != AV_NOPTS_VALUE && packet->dts <= lane.last_out_dts) {
    packet->dts = lane.last_out_dts + 1;
    if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts) packet->pts = packet->dts;
  }
  if (packet->dts != AV_NOPTS_VALUE) lane.last_out_dts = packet->dts;
  const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  if (stamp != AV_NOPTS_VALUE) {
    // Never more than the source can give: the progress window reads this.
    const int64_t end_us =
        std::min(av_rescale_q(stamp + packet->duration, lane.out_stream->time_base, AV_TIME_BASE_Q), output_limit_us_);
    if (end_us > progress_.output_us) progress_.output_us = end_us;
  }
  const int result = av_interleaved_write_frame(output_.get(), packet);
  if (result < 0) throw EncoderError("cannot write " + Quoted(options_.output) + ": " + Detail(result));
  if (output_->pb) progress_.bytes = avio_tell(output_->pb);
}

}  // namespace encoder
