// Failures end with a one-line reason, a non-zero exit code and nothing
// half-written left behind.
#include <gtest/gtest.h>

#include "fakes.h"
#include "harness.h"

namespace {

using encoder_test::Media;
using encoder_test::RunEncoder;
using testing_support::Exists;

class Failures : public ::testing::Test {
 protected:
  // Runs and checks the common shape of a failure; returns the reason.
  std::string Fail(const std::vector<std::string>& args, const std::string& tool = "evc") {
    const auto run = RunEncoder(tool, args);
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.back(), '\n');
    // Nothing before the reason: failures before any work print one line.
    const std::string reason = encoder_test::LastLine(run.err);
    EXPECT_EQ(reason.rfind(tool + ": ", 0), 0u) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_TRUE(encoder_test::TemporaryFiles(dir.path()).empty());
    return reason;
  }
  std::vector<std::string> Mp4(const std::string& input, const std::string& output) {
    return {"-y", "-i", input, "-vcodec", "mpeg4", "-acodec", "aac", "-s", "320x240", output};
  }
  testing_support::TempDir dir;
};

TEST_F(Failures, MissingUnreadableOrUndecodableInput) {
  const std::string output = dir.file("out.mp4");
  EXPECT_EQ(Fail(Mp4(dir.file("missing.avi"), output)),
            "evc: cannot open the input \"" + dir.file("missing.avi") + "\": No such file or directory");
  testing_support::WriteFile(dir.file("notes.avi"), "this is not a video\n");
  EXPECT_NE(Fail(Mp4(dir.file("notes.avi"), output)).find("cannot open the input"), std::string::npos);
  // Subtitles alone: a readable file without a stream to convert.
  testing_support::WriteFile(dir.file("words.srt"), "1\n00:00:01,000 --> 00:00:02,000\nHello\n\n");
  EXPECT_EQ(Fail(Mp4(dir.file("words.srt"), output)),
            "evc: no decodable audio or video stream in \"" + dir.file("words.srt") + "\"");
  // Video only into a sound-only output.
  EXPECT_EQ(Fail({"-y", "-i", Media("mute.avi"), "-acodec", "mp3", "-vn", dir.file("x.mp3")}),
            "evc: the input \"" + Media("mute.avi") + "\" has no audio stream for this output");
  EXPECT_FALSE(Exists(output));
}

TEST_F(Failures, UnknownCodecOptionOrContainer) {
  const std::string output = dir.file("out.mp4");
  EXPECT_EQ(Fail({"-y", "-i", Media("clip.avi"), "-vcodec", "nosuchcodec", output}),
            "evc: unknown video codec \"nosuchcodec\"");
  EXPECT_EQ(Fail({"-y", "-i", Media("clip.avi"), "-acodec", "mpeg4", output}), "evc: \"mpeg4\" is not an audio codec");
  EXPECT_EQ(Fail({"-y", "-i", Media("clip.avi"), "-deinterlace", output}), "evc: unknown option \"-deinterlace\"");
  EXPECT_EQ(Fail({"-y", "-i", Media("clip.avi"), "-t", "-5", output}),
            "evc: the length given with -t must not be negative");
  EXPECT_EQ(Fail({"-y", "-i", Media("clip.avi"), dir.file("out.nosuch")}),
            "evc: cannot tell the container format from the name \"" + dir.file("out.nosuch") + "\"; give one with -f");
  // A codec the container cannot hold fails before anything is written, both
  // named as people know them.
  EXPECT_EQ(Fail({"-y", "-i", Media("clip.avi"), "-acodec", "wmav2", output}),
            "evc: the MP4 (MPEG-4 Part 14) container cannot hold Windows Media Audio 2 audio");
  EXPECT_NE(Fail({"-y", "-i", Media("clip.avi"), "-acodec", "aac", "-vn", dir.file("out.mp3")}).find("MP3"),
            std::string::npos);
  EXPECT_FALSE(Exists(output));
  EXPECT_FALSE(Exists(dir.file("out.mp3")));
}

TEST_F(Failures, OutputThatCannotBeWritten) {
  testing_support::WriteFile(dir.file("plain"), "x");
  EXPECT_EQ(Fail(Mp4(Media("clip.avi"), dir.file("missing/out.mp4"))),
            "evc: cannot write \"" + dir.file("missing/out.mp4") + "\": No such file or directory");
  EXPECT_EQ(Fail(Mp4(Media("clip.avi"), dir.file("plain/out.mp4"))),
            "evc: cannot write \"" + dir.file("plain/out.mp4") + "\": Not a directory");
  EXPECT_EQ(Fail(Mp4(Media("clip.avi"), dir.path())).rfind("evc: the output", 0), 0u);
  // A name too long for the file system is refused before any encoding.
  const std::string long_name = dir.file(std::string(260, 'n') + ".mp4");
  const auto run = RunEncoder("evc", Mp4(Media("clip.avi"), long_name));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "evc: cannot write \"" + long_name + "\": File name too long\n");
  EXPECT_EQ(encoder_test::FolderEntries(dir.path()), std::vector<std::string>{"plain"});
}

TEST_F(Failures, ExistingOutputWithoutYesIsLeftAlone) {
  const std::string output = dir.file("taken.mp4");
  testing_support::WriteFile(output, "precious");
  EXPECT_EQ(Fail({"-i", Media("clip.avi"), "-vcodec", "mpeg4", "-acodec", "aac", output}),
            "evc: the output \"" + output + "\" already exists; give -y to replace it");
  EXPECT_EQ(testing_support::ReadFile(output), "precious");
}

TEST_F(Failures, AFailedRunWithYesKeepsTheFileItWouldHaveReplaced) {
  const std::string output = dir.file("keep.mp4");
  testing_support::WriteFile(output, "precious");
  Fail(Mp4(dir.file("missing.avi"), output));
  EXPECT_EQ(testing_support::ReadFile(output), "precious");
  // The input itself is never the output.
  const std::string input = dir.file("self.avi");
  ASSERT_EQ(encoder_test::RunProcess({"cp", Media("clip.avi"), input}).exit_code, 0);
  EXPECT_EQ(Fail({"-y", "-i", input, "-vcodec", "xvid", "-acodec", "mp3", input}),
            "evc: the output \"" + input + "\" would replace the input");
  EXPECT_TRUE(encoder_test::PlaysThrough(input));
}

TEST_F(Failures, RevcNamesItselfAndReportsABadScript) {
  const std::string script = dir.file("VideoFile.avs");
  testing_support::WriteFile(script, "AviSource(\"clip.avi\")\r\n");
  EXPECT_EQ(Fail({"-y", "-i", script, "-acodec", "mp3", "-vn", dir.file("out.mp3")}, "revc"),
            "revc: the script is not of the form DirectShowSource(\"FILE\", fps=RATE, convertfps=true)");
  testing_support::WriteFile(script,
                             "DirectShowSource(\"" + dir.file("gone.rm") + "\", fps=29.97, convertfps=true)\r\n");
  EXPECT_EQ(Fail({"-y", "-i", script, "-acodec", "mp3", "-vn", dir.file("out.mp3")}, "revc"),
            "revc: cannot open the input \"" + dir.file("gone.rm") + "\": No such file or directory");
}

}  // namespace
