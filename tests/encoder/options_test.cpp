// The encoder's command line, scripts, names and status lines, without
// starting a process.
#include "encoder/options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "encoder/avs_script.h"
#include "encoder/codec_choice.h"
#include "encoder/console.h"
#include "encoder/encoder_error.h"
#include "encoder/output_file.h"
#include "fakes.h"
#include "harness.h"

namespace {

using encoder::EncoderError;
using encoder::ParseArguments;
using Args = std::vector<std::string>;

std::string ErrorOf(const Args& args) {
  try {
    ParseArguments(args);
  } catch (const EncoderError& error) {
    return error.what();
  }
  return "";
}

bool Same(AVRational a, int num, int den) {
  return a.num == num && a.den == den;
}

TEST(EncoderArguments, ReadsTheVideoFormAsTheConverterComposesIt) {
  const auto options = ParseArguments({"-y",
                                       "-i",
                                       "/in/holiday.avi",
                                       "-vcodec",
                                       "mpeg4",
                                       "-acodec",
                                       "aac",
                                       "-b",
                                       "768",
                                       "-s",
                                       "320x240",
                                       "-r",
                                       "15",
                                       "-aspect",
                                       "4:3",
                                       "-ab",
                                       "128",
                                       "-vol",
                                       "200",
                                       "-ac",
                                       "2",
                                       "-ar",
                                       "44100",
                                       "-ss",
                                       "00:00:10",
                                       "-t",
                                       "50",
                                       "/out/holiday.mp4"});
  EXPECT_TRUE(options.overwrite);
  EXPECT_EQ(options.input, "/in/holiday.avi");
  EXPECT_EQ(options.video_codec, "mpeg4");
  EXPECT_EQ(options.audio_codec, "aac");
  EXPECT_EQ(options.video_bitrate, 768000);
  EXPECT_EQ(options.audio_bitrate, 128000);
  ASSERT_TRUE(options.frame_size);
  EXPECT_EQ(options.frame_size->width, 320);
  EXPECT_EQ(options.frame_size->height, 240);
  ASSERT_TRUE(options.frame_rate);
  EXPECT_TRUE(Same(*options.frame_rate, 15, 1));
  ASSERT_TRUE(options.aspect);
  EXPECT_TRUE(Same(*options.aspect, 4, 3));
  EXPECT_EQ(options.volume, 200);
  EXPECT_EQ(options.channels, 2);
  EXPECT_EQ(options.sample_rate, 44100);
  EXPECT_EQ(options.start_us, 10'000'000);
  EXPECT_EQ(options.length_us, 50'000'000);
  EXPECT_FALSE(options.no_video);
  EXPECT_FALSE(options.format);
  EXPECT_EQ(options.output, "/out/holiday.mp4");
}

TEST(EncoderArguments, TakesOptionsInAnyOrderAndTheOutputAlwaysLast) {
  const auto options = ParseArguments(
      {"-acodec", "mp3", "-vn", "-ar", "22050", "-i", "-in.avi", "-f", "mp3", "-y", "-ac", "1", "-out.mp3"});
  EXPECT_EQ(options.input, "-in.avi");
  EXPECT_EQ(options.output, "-out.mp3");
  EXPECT_TRUE(options.no_video);
  EXPECT_TRUE(options.overwrite);
  EXPECT_EQ(options.format, "mp3");
  EXPECT_EQ(options.channels, 1);
  EXPECT_EQ(options.threads, 0);
  EXPECT_EQ(ParseArguments({"-threads", "1", "-i", "a", "o.mp3"}).threads, 1);
  // Later options win over earlier ones of the same name.
  EXPECT_EQ(ParseArguments({"-i", "a", "-ab", "64", "-ab", "96", "o.mp3"}).audio_bitrate, 96000);
  // Without -y nothing may be replaced.
  EXPECT_FALSE(ParseArguments({"-i", "a", "o.mp3"}).overwrite);
}

TEST(EncoderArguments, StartAndLengthAcceptTimesAndSeconds) {
  EXPECT_EQ(ParseArguments({"-i", "a", "-ss", "00:09:50", "-t", "10", "o"}).start_us, 590'000'000);
  EXPECT_EQ(ParseArguments({"-i", "a", "-ss", "01:00:00", "o"}).start_us, 3600'000'000LL);
  EXPECT_EQ(ParseArguments({"-i", "a", "-ss", "12.5", "o"}).start_us, 12'500'000);
  EXPECT_EQ(ParseArguments({"-i", "a", "-t", "0", "o"}).length_us, 0);
  EXPECT_EQ(ParseArguments({"-i", "a", "-t", "00:01:00", "o"}).length_us, 60'000'000);
}

TEST(EncoderArguments, RefusesWhatItCannotUseWithOneLineReasons) {
  EXPECT_EQ(ErrorOf({"-i", "a", "-t", "-5", "o"}), "the length given with -t must not be negative");
  EXPECT_EQ(ErrorOf({"-i", "a", "-ss", "-00:00:01", "o"}), "the start position given with -ss must not be negative");
  EXPECT_EQ(ErrorOf({"-i", "a", "-zz", "1", "o"}), "unknown option \"-zz\"");
  EXPECT_EQ(ErrorOf({"-i", "a", "-an", "o"}), "unknown option \"-an\"");
  EXPECT_EQ(ErrorOf({"-y", "o"}), "no input file given (-i FILE)");
  EXPECT_EQ(ErrorOf({}), "no input or output given; usage: -i INPUT [options] OUTPUT");
  EXPECT_EQ(ErrorOf({"-i", "a", "-y"}), "no output file given");
  EXPECT_EQ(ErrorOf({"-i", "a", "-b", "o"}), "missing value for -b");
  EXPECT_EQ(ErrorOf({"-i", "a", "-i", "b", "o"}), "only one input file is supported");
  EXPECT_EQ(ErrorOf({"-i", "a", "stray", "o"}), "unexpected argument \"stray\" before the output file");
  EXPECT_EQ(ErrorOf({"-i", "a", "-b", "fast", "o"}), "invalid value \"fast\" for -b");
  EXPECT_EQ(ErrorOf({"-i", "a", "-b", "0", "o"}), "invalid value \"0\" for -b");
  EXPECT_EQ(ErrorOf({"-i", "a", "-s", "320", "o"}), "invalid value \"320\" for -s");
  EXPECT_EQ(ErrorOf({"-i", "a", "-s", "0x240", "o"}), "invalid value \"0x240\" for -s");
  EXPECT_EQ(ErrorOf({"-i", "a", "-aspect", "4:0", "o"}), "invalid value \"4:0\" for -aspect");
  EXPECT_EQ(ErrorOf({"-i", "a", "-vol", "-1", "o"}), "invalid value \"-1\" for -vol");
  EXPECT_EQ(ErrorOf({"-i", "a", "-ac", "0", "o"}), "invalid value \"0\" for -ac");
  EXPECT_EQ(ErrorOf({"-i", "a", "-ar", "44.1", "o"}), "invalid value \"44.1\" for -ar");
  EXPECT_EQ(ErrorOf({"-i", "a", "-ss", "soon", "o"}), "invalid value \"soon\" for -ss");
  EXPECT_EQ(ErrorOf({"-i", "a", "-threads", "65", "o"}), "invalid value \"65\" for -threads");
}

TEST(EncoderArguments, BitratesAreKilobitsAndAspectsRatios) {
  EXPECT_EQ(ParseArguments({"-i", "a", "-b", "1500", "o"}).video_bitrate, 1'500'000);
  EXPECT_EQ(ParseArguments({"-i", "a", "-ab", "0.5", "o"}).audio_bitrate, 500);
  EXPECT_TRUE(Same(*ParseArguments({"-i", "a", "-aspect", "16:9", "o"}).aspect, 16, 9));
  EXPECT_TRUE(Same(*ParseArguments({"-i", "a", "-aspect", "1.5", "o"}).aspect, 3, 2));
}

TEST(FrameRates, DecimalRatesStayExactWhereAnEncoderTimeBaseCanHoldThem) {
  EXPECT_TRUE(Same(encoder::ParseFrameRate("14.985"), 2997, 200));
  EXPECT_TRUE(Same(encoder::ParseFrameRate("15"), 15, 1));
  EXPECT_TRUE(Same(encoder::ParseFrameRate("23.967"), 23967, 1000));
  EXPECT_TRUE(Same(encoder::ParseFrameRate("29.97"), 2997, 100));
  EXPECT_TRUE(Same(encoder::ParseFrameRate("30000/1001"), 30000, 1001));
  EXPECT_TRUE(Same(encoder::ParseFrameRate("50/2"), 25, 1));
}

TEST(FrameRates, ScriptRateBecomesTheNtscRateAndOthersFitSixteenBits) {
  // 10^7/333666, the rate the converter's script asks for.
  EXPECT_TRUE(Same(encoder::ParseFrameRate("29.9700898503294"), 30000, 1001));
  EXPECT_TRUE(Same(encoder::ParseFrameRate("23.9760239760"), 24000, 1001));
  const AVRational odd = encoder::ParseFrameRate("12.3456789");
  EXPECT_LE(odd.den, 65535);
  EXPECT_NEAR(av_q2d(odd), 12.3456789, 1e-6);
  EXPECT_TRUE(Same(encoder::FitFrameRate(AVRational{10000000, 333666}), 30000, 1001));
  for (const char* bad : {"0", "-5", "abc", "", "1/0", "5000"})
    EXPECT_THROW(encoder::ParseFrameRate(bad), EncoderError) << bad;
}

TEST(AvsScripts, ReadTheConvertersScriptLine) {
  EXPECT_TRUE(encoder::IsAvsScript("/prog/VideoFile.avs"));
  EXPECT_TRUE(encoder::IsAvsScript("/prog/VIDEOFILE.AVS"));
  EXPECT_FALSE(encoder::IsAvsScript("/prog/clip.avi"));
  const auto script = encoder::ParseAvsScript(
      "DirectShowSource(\"/media/clip.rmvb\", fps=29.9700898503294, convertfps=true)\r\n", "/prog/");
  EXPECT_EQ(script.source_path, "/media/clip.rmvb");
  ASSERT_TRUE(script.frame_rate);
  EXPECT_TRUE(Same(*script.frame_rate, 30000, 1001));
}

TEST(AvsScripts, QuotesAndCommasInTheFileNameDoNoHarm) {
  const std::string name = "/media/a \"quoted\", fps=5, name.rm";
  const auto script =
      encoder::ParseAvsScript("DirectShowSource(\"" + name + "\", fps=14.985, convertfps=true)\r\n", "/prog/");
  EXPECT_EQ(script.source_path, name);
  EXPECT_TRUE(Same(*script.frame_rate, 2997, 200));
  // A byte-order mark, other letter case and a relative name from the script's folder.
  const auto relative = encoder::ParseAvsScript("\xEF\xBB\xBF directshowsource(\"clip.rm\", fps=25)", "/prog/");
  EXPECT_EQ(relative.source_path, "/prog/clip.rm");
  EXPECT_TRUE(Same(*relative.frame_rate, 25, 1));
}

TEST(AvsScripts, OtherTextIsRefused) {
  EXPECT_THROW(encoder::ParseAvsScript("AviSource(\"/a.avi\")", "/"), EncoderError);
  EXPECT_THROW(encoder::ParseAvsScript("DirectShowSource(/a.avi, fps=25)", "/"), EncoderError);
  EXPECT_THROW(encoder::ParseAvsScript("DirectShowSource(\"\", fps=25)", "/"), EncoderError);
  EXPECT_THROW(encoder::ParseAvsScript("DirectShowSource(\"/a.rm\", fps=fast, convertfps=true)", "/"), EncoderError);
  EXPECT_THROW(encoder::LoadAvsScript("/nonexistent/VideoFile.avs"), EncoderError);
}

TEST(CodecNames, ResolveAsTheFfmpegToolResolvesThem) {
  const AVOutputFormat* mp4 = encoder::ChooseMuxer(std::nullopt, "o.mp4");
  const AVOutputFormat* avi = encoder::ChooseMuxer(std::nullopt, "o.avi");
  EXPECT_EQ(encoder::FindEncoder("mp3", AVMEDIA_TYPE_AUDIO, mp4).codec->id, AV_CODEC_ID_MP3);
  EXPECT_EQ(encoder::FindEncoder("aac", AVMEDIA_TYPE_AUDIO, mp4).codec->id, AV_CODEC_ID_AAC);
  EXPECT_EQ(encoder::FindEncoder("mpeg4", AVMEDIA_TYPE_VIDEO, mp4).codec->id, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(encoder::FindEncoder("MPEG4", AVMEDIA_TYPE_VIDEO, mp4).codec->id, AV_CODEC_ID_MPEG4);
  const auto xvid = encoder::FindEncoder("xvid", AVMEDIA_TYPE_VIDEO, avi);
  EXPECT_EQ(xvid.codec->id, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(xvid.codec_tag, MKTAG('X', 'V', 'I', 'D'));
  EXPECT_EQ(encoder::FindEncoder("xvid", AVMEDIA_TYPE_VIDEO, mp4).codec_tag, 0u);
  EXPECT_THROW(encoder::FindEncoder("nosuchcodec", AVMEDIA_TYPE_VIDEO, mp4), EncoderError);
  EXPECT_THROW(encoder::FindEncoder("aac", AVMEDIA_TYPE_VIDEO, mp4), EncoderError);
  EXPECT_THROW(encoder::FindEncoder("mpeg4", AVMEDIA_TYPE_AUDIO, mp4), EncoderError);
}

TEST(ContainerNames, FollowTheExtensionUnlessAFormatIsNamed) {
  auto name = [](std::optional<std::string> format, const std::string& path) {
    return std::string(encoder::ChooseMuxer(format, path)->name);
  };
  EXPECT_EQ(name(std::nullopt, "/o/a.mp4"), "mp4");
  EXPECT_EQ(name(std::nullopt, "/o/a.MP4"), "mp4");
  EXPECT_EQ(name(std::nullopt, "/o/a.m4a"), "ipod");
  EXPECT_EQ(name(std::nullopt, "/o/a.aac"), "adts");
  EXPECT_EQ(name(std::nullopt, "/o/a.mp3"), "mp3");
  EXPECT_EQ(name(std::nullopt, "/o/a.avi"), "avi");
  EXPECT_EQ(name(std::nullopt, "/o/a.3gp"), "3gp");
  EXPECT_EQ(name(std::nullopt, "/o/a.3g2"), "3g2");
  EXPECT_EQ(name(std::string("aac"), "/o/a.mp4"), "adts");
  EXPECT_EQ(name(std::string("mp4"), "/o/a.bin"), "mp4");
  EXPECT_THROW(encoder::ChooseMuxer(std::nullopt, "/o/a.nosuch"), EncoderError);
  EXPECT_THROW(encoder::ChooseMuxer(std::nullopt, "/o.mp4/noextension"), EncoderError);
  EXPECT_THROW(encoder::ChooseMuxer(std::string("nosuchformat"), "/o/a.mp4"), EncoderError);
}

TEST(StatusLines, CarryTheOutputTimeWhereTheProgressWindowReadsIt) {
  const std::string video = encoder::FormatStatusLine(true, 45, 2.5, 137216, 3'000'000);
  EXPECT_EQ(video, "frame=   45 q=2.5 size=     134kB time=3.00 bitrate= 365.9kbits/s\r");
  EXPECT_EQ(encoder_test::ReadProgressSeconds(video, true), 3);
  const std::string audio = encoder::FormatStatusLine(false, 0, 0, 61440, 125'990'000);
  EXPECT_EQ(audio, "size=      60kB time=125.99 bitrate=   3.9kbits/s\r");
  EXPECT_EQ(encoder_test::ReadProgressSeconds(audio, false), 125);
  // Before anything is written the line is still well-formed.
  EXPECT_EQ(encoder::FormatStatusLine(true, 0, 0, 0, 0),
            "frame=    0 q=0.0 size=       0kB time=0.00 bitrate=   0.0kbits/s\r");
}

void WriteTo(int fd, const std::string& text) {
  ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
}

using encoder_test::FolderEntries;
using Names = std::vector<std::string>;

TEST(OutputFiles, AnExistingFileIsReplacedOnlyWithOverwriteAndOnlyOnCommit) {
  testing_support::TempDir dir;
  const std::string target = dir.file("out.mp4");
  testing_support::WriteFile(target, "old");
  EXPECT_THROW(encoder::OutputFile(target, false), EncoderError);
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "named");
    {
      encoder::OutputFile output(target, true);
      output.Create(unnamed);
      WriteTo(output.fd(), "half");
      // An unnamed file does not show while it is written; a named one is hidden.
      if (unnamed) {
        EXPECT_EQ(FolderEntries(dir.path()), Names{"out.mp4"});
      } else {
        EXPECT_EQ(encoder_test::TemporaryFiles(dir.path()).size(), 1u);
      }
      // Not committed: the old file stays and the temporary one goes.
    }
    EXPECT_EQ(testing_support::ReadFile(target), "old");
    EXPECT_EQ(FolderEntries(dir.path()), Names{"out.mp4"});
  }
  for (const bool unnamed : {true, false}) {
    encoder::OutputFile output(target, true);
    output.Create(unnamed);
    WriteTo(output.fd(), unnamed ? "new" : "newer");
    output.Commit();
    EXPECT_EQ(testing_support::ReadFile(target), unnamed ? "new" : "newer");
    EXPECT_EQ(FolderEntries(dir.path()), Names{"out.mp4"});
  }
  EXPECT_THROW(encoder::OutputFile(dir.path(), true), EncoderError);
}

TEST(OutputFiles, WithoutOverwriteAFileThatAppearedMeanwhileIsKept) {
  for (const bool unnamed : {true, false}) {
    testing_support::TempDir dir;
    const std::string target = dir.file("out.mp3");
    {
      encoder::OutputFile output(target, false);
      output.Create(unnamed);
      WriteTo(output.fd(), "converted");
      testing_support::WriteFile(target, "someone else's");
      EXPECT_THROW(output.Commit(), EncoderError);
    }
    EXPECT_EQ(testing_support::ReadFile(target), "someone else's");
    EXPECT_EQ(FolderEntries(dir.path()), Names{"out.mp3"});
  }
}

// A link planted under the output's name is replaced itself; what it points
// to is never written, however the file is made.
TEST(OutputFiles, APlantedLinkIsNeverFollowed) {
  for (const bool unnamed : {true, false}) {
    testing_support::TempDir dir;
    const std::string victim = dir.file("victim");
    testing_support::WriteFile(victim, "precious");
    const std::string target = dir.file("out.mp4");
    ASSERT_EQ(symlink(victim.c_str(), target.c_str()), 0);
    EXPECT_THROW(encoder::OutputFile(target, false), EncoderError);
    encoder::OutputFile output(target, true);
    output.Create(unnamed);
    WriteTo(output.fd(), "converted");
    output.Commit();
    EXPECT_EQ(testing_support::ReadFile(victim), "precious");
    EXPECT_EQ(testing_support::ReadFile(target), "converted");
    struct stat info;
    ASSERT_EQ(lstat(target.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
  }
}

TEST(OutputFiles, ANameTooLongOrAFileAsAFolderFailsBeforeAnyWriting) {
  testing_support::TempDir dir;
  const std::string long_name = dir.file(std::string(300, 'a') + ".mp4");
  try {
    encoder::OutputFile output(long_name, true);
    ADD_FAILURE() << "a name of 300 bytes was taken";
  } catch (const EncoderError& error) {
    EXPECT_EQ(std::string(error.what()), "cannot write \"" + long_name + "\": File name too long");
  }
  testing_support::WriteFile(dir.file("plain"), "x");
  EXPECT_THROW(encoder::OutputFile(dir.file("plain/out.mp4"), true), EncoderError);
  EXPECT_EQ(FolderEntries(dir.path()), Names{"plain"});
}

}  // namespace
