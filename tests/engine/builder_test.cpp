#include "engine/builder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine_test_support.h"
#include "platform/command_line.h"
#include "platform/errors.h"

using engine_tests::AddRow;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class Builder : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_tests::SetUpConversionLists(*tp);
    out = tp.dir.path() + "Video To Plim Converter/";
    tp->MainForm().edtOutputFolder.SetText(tp.dir.path() + "Video To Plim Converter");
  }
  TCustomProc& proc() { return tp->CustomProc(); }
  TConvertParameterStruct& job() { return tp->CommonLib().ConvertParameter; }
  std::string Build(const std::string& source) { return proc().CreateConvertParameter(source); }

  testing_support::TestProgram tp;
  std::string out;
};

}  // namespace

TEST_F(Builder, VideoJobGivesTheWholeCommandAndRecord) {
  AddRow(*tp, "True", "/clips/holiday.avi", "00:00:10", "00:01:00", "00:05:00");
  const std::string command = Build("/clips/holiday.avi");
  // The encoder's path is quoted like every other path.
  EXPECT_EQ(command, "\"" + tp.AppDir() +
                         "evc\" -y -i \"/clips/holiday.avi\" -vcodec mpeg4 -acodec aac -b 768 -s 320x240 -r 15 "
                         "-aspect 4:3 -ab 128 -vol 200 -ac 2 -ar 44100 -ss 00:00:10 -t 50 \"" +
                         out + "holiday.mp4\"");
  EXPECT_EQ(job().EncoderPath, tp.AppDir() + "evc");
  EXPECT_EQ(job().SourceFile, "/clips/holiday.avi");
  EXPECT_EQ(job().CodecArgs, " -vcodec mpeg4 -acodec aac");
  EXPECT_EQ(job().FormatArg, "");
  EXPECT_EQ(job().TrimArg, " -ss 00:00:10 -t 50");
  EXPECT_EQ(job().OutputDir, out);
  EXPECT_EQ(job().OutputBaseName, "holiday");
  EXPECT_EQ(job().OutputExt, ".mp4");
  EXPECT_EQ(job().OutputFile, out + "holiday.mp4");
  EXPECT_EQ(proc().TrimStartText, "00:00:10");
  EXPECT_EQ(proc().TrimSecondsText, "50");
}

TEST_F(Builder, AudioJobsLeaveTheVideoFragmentsOut) {
  engine_tests::SetUpConversionLists(*tp, 3, 2);
  AddRow(*tp, "True", "/clips/holiday.avi", "00:00:10", "00:01:00", "00:05:00");
  EXPECT_EQ(Build("/clips/holiday.avi"), "\"" + tp.AppDir() +
                                             "evc\" -y -i \"/clips/holiday.avi\" -acodec mp3 -vn -ab 128 -vol 200 "
                                             "-ac 1 -ar 22050 -ss 00:00:10 -t 50 \"" +
                                             out + "holiday.mp3\"");
  // The preset set the video lists too; their fragments are recorded but unused.
  EXPECT_EQ(job().VideoSizeArg, " -s 320x240");
  EXPECT_EQ(job().VideoBitrateArg, " -b 768");

  engine_tests::SetUpConversionLists(*tp, 2, 0);
  const std::string m4a = Build("/clips/holiday.avi");
  EXPECT_NE(m4a.find(" -acodec aac -vn -ab 48 -vol 200 -ac 1 -ar 22050 -ss"), std::string::npos) << m4a;
  EXPECT_EQ(m4a.find(" -s "), std::string::npos);
  EXPECT_EQ(m4a.find(" -r "), std::string::npos);
  EXPECT_EQ(m4a.find(" -aspect "), std::string::npos);
}

TEST_F(Builder, TrimRangeArithmetic) {
  struct Case {
    std::string start, end, seconds;
  } cases[] = {
      {"100:00:00", "100:00:01", "1"},   // hours beyond two digits
      {"", "00:00:07", "7"},             // empty counts as 0
      {"01:02:03", "02:03:04", "3661"},  // every part weighs in
  };
  for (const auto& c : cases) {
    tp->MainForm().dxTreeSourceFileInfo.Clear();
    AddRow(*tp, "True", "/clips/a.avi", c.start, c.end);
    Build("/clips/a.avi");
    EXPECT_EQ(proc().TrimSecondsText, c.seconds) << c.start << " .. " << c.end;
    EXPECT_EQ(proc().TrimStartText, c.start);
    if (!c.start.empty()) {
      EXPECT_EQ(job().TrimArg, " -ss " + c.start + " -t " + c.seconds);
    }
  }
  // A range that holds nothing is refused, not run to the file's end.
  for (const auto& [start, end] : {std::pair{"00:00:00", "00:00:00"}, {"00:01:00", "00:00:20"}}) {
    tp->MainForm().dxTreeSourceFileInfo.Clear();
    AddRow(*tp, "True", "/clips/a.avi", start, end);
    EXPECT_THROW(Build("/clips/a.avi"), TrimTimeError) << start << " .. " << end;
  }
  // An empty start cell leaves no range at all.
  tp->MainForm().dxTreeSourceFileInfo.Clear();
  AddRow(*tp, "True", "/clips/a.avi", "", "00:00:07");
  Build("/clips/a.avi");
  EXPECT_EQ(job().TrimArg, "");
}

// The untouched end cell shows the length in whole seconds: it stands for the
// real end, so no length is passed and the last fraction of a second stays.
TEST_F(Builder, AnEndAtTheDurationCellRunsToTheRealEnd) {
  AddRow(*tp, "True", "/clips/a.avi", "00:00:00", "00:00:06", "00:00:06");
  const std::string command = Build("/clips/a.avi");
  EXPECT_EQ(job().TrimArg, " -ss 00:00:00");
  EXPECT_EQ(command.find(" -t "), std::string::npos) << command;
  EXPECT_EQ(proc().TrimSecondsText, "6");

  // An end before the duration cell is a range of its own.
  tp->MainForm().dxTreeSourceFileInfo.Clear();
  AddRow(*tp, "True", "/clips/a.avi", "00:00:01", "00:00:05", "00:00:06");
  Build("/clips/a.avi");
  EXPECT_EQ(job().TrimArg, " -ss 00:00:01 -t 4");
}

TEST_F(Builder, ACellThatIsNoTimeRefusesTheJobInsteadOfAZeroRange) {
  struct Case {
    std::string start, end, message;
  } cases[] = {
      {"00:00:00", "1:30", "The end time \"1:30\" of \"/clips/a.avi\" is not a time of the form hh:mm:ss."},
      {"00:90:00", "01:00:00", "The start time \"00:90:00\" of \"/clips/a.avi\" is not a time of the form hh:mm:ss."},
      {"00:01", "00:00:30", "The start time \"00:01\" of \"/clips/a.avi\" is not a time of the form hh:mm:ss."},
      {"00:00:10", "0:0:0:40", "The end time \"0:0:0:40\" of \"/clips/a.avi\" is not a time of the form hh:mm:ss."},
      {"00:0x:10", "00:00:20", "The start time \"00:0x:10\" of \"/clips/a.avi\" is not a time of the form hh:mm:ss."},
      {"00:00:10", "", "The end time \"\" of \"/clips/a.avi\" is not a time of the form hh:mm:ss."},
      {"00:00:10", "00:01:00 ", "The end time \"00:01:00 \" of \"/clips/a.avi\" is not a time of the form hh:mm:ss."},
  };
  for (const auto& c : cases) {
    tp->MainForm().dxTreeSourceFileInfo.Clear();
    AddRow(*tp, "True", "/clips/a.avi", c.start, c.end);
    try {
      Build("/clips/a.avi");
      ADD_FAILURE() << c.start << " .. " << c.end << " was built";
    } catch (const TrimTimeError& refused) {
      EXPECT_EQ(refused.what(), c.message);
    }
  }
}

TEST_F(Builder, RowLookupIgnoresAsciiCaseAndTakesTheLastRow) {
  AddRow(*tp, "True", "/Clips/Holiday.avi", "00:00:05", "00:00:15");
  AddRow(*tp, "False", "/clips/other.avi", "00:00:01", "00:00:02");
  AddRow(*tp, "True", "/CLIPS/HOLIDAY.AVI", "00:00:20", "00:00:50");
  Build("/clips/holiday.avi");
  EXPECT_EQ(proc().TrimStartText, "00:00:20");
  EXPECT_EQ(proc().TrimSecondsText, "30");

  // Non-ASCII letters are compared byte for byte.
  tp->MainForm().dxTreeSourceFileInfo.Clear();
  AddRow(*tp, "True", "/clips/Ärger.avi", "00:00:05", "00:00:15");
  EXPECT_EQ(proc().GetTrimStart("/clips/ärger.avi"), "");
  EXPECT_EQ(proc().GetTrimSeconds("/clips/Ärger.avi"), "10");
}

TEST_F(Builder, SourceWithoutRowConvertsTheWholeFile) {
  AddRow(*tp, "True", "/clips/other.avi", "00:00:05", "00:00:15");
  const std::string command = Build("/clips/missing.avi");
  EXPECT_EQ(proc().TrimStartText, "");
  EXPECT_EQ(proc().TrimSecondsText, "");
  EXPECT_EQ(job().TrimArg, "");
  EXPECT_EQ(command.find(" -ss "), std::string::npos);
  EXPECT_NE(command.find("-ar 44100 \""), std::string::npos);
}

TEST_F(Builder, RealMediaGoesThroughTheScriptWithCaseSensitiveExtensions) {
  AddRow(*tp, "True", "/clips/clip.rmvb", "00:00:00", "00:00:10");
  const std::string rmvb = Build("/clips/clip.rmvb");
  EXPECT_EQ(job().EncoderPath, tp.AppDir() + "revc");
  EXPECT_EQ(job().SourceFile, tp.AppDir() + "VideoFile.avs");
  EXPECT_EQ(job().OutputBaseName, "clip");
  EXPECT_EQ(rmvb.rfind("\"" + tp.AppDir() + "revc\" -y -i \"" + tp.AppDir() + "VideoFile.avs\"", 0), 0u) << rmvb;
  EXPECT_EQ(ReadFile(tp.AppDir() + "VideoFile.avs"),
            "DirectShowSource(\"/clips/clip.rmvb\", fps=29.9700898503294, convertfps=true)\r\n");

  Build("/clips/movie.rm");
  EXPECT_EQ(job().EncoderPath, tp.AppDir() + "revc");

  for (const char* other : {"/clips/CLIP.RM", "/clips/clip.Rmvb", "/clips/clip.rm.avi", "/clips.rm/clip"}) {
    const std::string command = Build(other);
    EXPECT_EQ(job().EncoderPath, tp.AppDir() + "evc") << other;
    EXPECT_EQ(job().SourceFile, other);
    // The script is rewritten for every job, RealMedia or not.
    EXPECT_EQ(ReadFile(tp.AppDir() + "VideoFile.avs"),
              std::string("DirectShowSource(\"") + other + "\", fps=29.9700898503294, convertfps=true)\r\n");
  }
}

TEST_F(Builder, ScriptThatCannotBeWrittenFailsTheBuild) {
  // A folder in the script's place cannot be replaced, not even by root.
  ASSERT_EQ(::mkdir((tp.AppDir() + "VideoFile.avs").c_str(), 0755), 0);
  AddRow(*tp, "True", "/clips/a.avi", "00:00:00", "00:00:10");
  try {
    Build("/clips/a.avi");
    FAIL() << "no error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + tp.AppDir() + "VideoFile.avs\". ", 0), 0u)
        << e.what();
  }
}

TEST_F(Builder, OutputFolderGetsItsSeparatorIsCreatedAndLogged) {
  tp->MainForm().edtOutputFolder.SetText(tp.dir.path() + "a/b/c");
  EXPECT_EQ(proc().GetOutputDirectory(), tp.dir.path() + "a/b/c/");
  EXPECT_TRUE(Exists(tp.dir.path() + "a/b/c"));
  tp->MainForm().edtOutputFolder.SetText(tp.dir.path() + "a/b/c/");
  EXPECT_EQ(proc().GetOutputDirectory(), tp.dir.path() + "a/b/c/");

  // A file in the way: the folder cannot be made, the job goes on regardless.
  WriteFile(tp.dir.path() + "blocker", "x");
  tp->MainForm().edtOutputFolder.SetText(tp.dir.path() + "blocker/out");
  AddRow(*tp, "True", "/clips/a.avi", "00:00:00", "00:00:10");
  const std::string command = Build("/clips/a.avi");
  EXPECT_NE(command.find("\"" + tp.dir.path() + "blocker/out/a.mp4\""), std::string::npos);

  const auto log = tp.LogMessages();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "Output directory " + tp.dir.path() + "a/b/c/");
  EXPECT_EQ(log[1], "Output directory " + tp.dir.path() + "a/b/c/");
  EXPECT_EQ(log[2], "Output directory error. ->" + tp.dir.path() + "blocker/out/");
}

TEST_F(Builder, OutputNamesAvoidEveryTakenBaseName) {
  ::mkdir(out.c_str(), 0755);
  AddRow(*tp, "True", "/clips/holiday.avi", "00:00:00", "00:00:10");
  AddRow(*tp, "True", "/clips/holiday.mpg", "00:00:00", "00:00:10");

  WriteFile(out + "holiday.txt", "");
  EXPECT_NE(Build("/clips/holiday.avi").find("\"" + out + "holiday_1.mp4\""), std::string::npos);

  // Across a batch: each job sees the outputs of the ones before it.
  WriteFile(out + "holiday_1.mp4", "");
  EXPECT_NE(Build("/clips/holiday.mpg").find("\"" + out + "holiday_2.mp4\""), std::string::npos);
  WriteFile(out + "holiday_2.mp4", "");
  EXPECT_NE(Build("/clips/holiday.avi").find("\"" + out + "holiday_3.mp4\""), std::string::npos);

  // A source in the output folder occupies its own base name.
  WriteFile(out + "inplace.avi", "");
  AddRow(*tp, "True", out + "inplace.avi", "00:00:00", "00:00:10");
  EXPECT_NE(Build(out + "inplace.avi").find("\"" + out + "inplace_1.mp4\""), std::string::npos);
}

TEST_F(Builder, HostileFileNamesComeBackWholeFromTheSplitter) {
  const std::string hostile[] = {
      "/clips/a \"-f\" b.avi",
      "/clips/\" -i /etc/passwd \".avi",
      "/clips/end\\",
      "/clips/back\\\"slash.avi",
      "/clips/two\\\\\" quotes\"\".avi",
      "/clips/-y -i x.avi",
      "/clips/tab\tand  blanks .avi",
      "/clips/über ☃.avi",
  };
  for (const std::string& source : hostile) {
    tp->MainForm().dxTreeSourceFileInfo.Clear();
    AddRow(*tp, "True", source, "00:00:01", "00:00:03");
    const std::string command = Build(source);
    const auto argv = platform::SplitCommandLine(command);
    ASSERT_GE(argv.size(), 5u) << command;
    EXPECT_EQ(argv[0], tp.AppDir() + "evc");
    EXPECT_EQ(argv[1], "-y");
    EXPECT_EQ(argv[2], "-i");
    EXPECT_EQ(argv[3], source) << command;
    EXPECT_EQ(argv[argv.size() - 3], "-t");
    EXPECT_EQ(argv.back(), out + TFileFunc::GetFileBaseName(source) + ".mp4") << command;
    EXPECT_EQ(argv.size(), 29u) << command;
  }
  // A plain path stays exactly as composed: quote, path, quote.
  tp->MainForm().dxTreeSourceFileInfo.Clear();
  AddRow(*tp, "True", "/clips/with blank\\inside.avi", "00:00:01", "00:00:03");
  EXPECT_NE(Build("/clips/with blank\\inside.avi").find(" -i \"/clips/with blank\\inside.avi\" "), std::string::npos);
}

TEST(CommandForms, ClassifiedByTheCodecText) {
  EXPECT_EQ(ClassifyCommand(" -vcodec mpeg4 -acodec aac", ".mp4"), CommandForm::V);
  EXPECT_EQ(ClassifyCommand("  -target vcd", ".mpg"), CommandForm::T);
  EXPECT_EQ(ClassifyCommand(" -acodec aac -vn", ".m4a"), CommandForm::A);
  for (const char* ext : {".3gp", ".3g2", ".amr"}) EXPECT_EQ(ClassifyCommand(" -acodec amr_nb", ext), CommandForm::N);
  EXPECT_EQ(ClassifyCommand(" -acodec amr_nb", ".3GP"), CommandForm::A);
  EXPECT_EQ(ClassifyCommand(" -none", ".mp4"), CommandForm::None);
  EXPECT_EQ(ClassifyCommand(" -nonesuch", ".mp4"), CommandForm::None);
  EXPECT_EQ(ClassifyCommand(" -VCODEC mpeg4", ".mp4"), CommandForm::Unknown);
  EXPECT_EQ(ClassifyCommand("", ".mp4"), CommandForm::Unknown);
}

TEST(CommandForms, PiecesInTheirOrder) {
  TConvertParameterStruct job;
  job.EncoderPath = "/p/evc";
  job.SourceFile = "/s/a.avi";
  job.CodecArgs = " C";
  job.VideoBitrateArg = " VB";
  job.VideoSizeArg = " VS";
  job.FrameRateArg = " FR";
  job.AspectArg = " AS";
  job.AudioBitrateArg = " AB";
  job.VolumeArg = " VO";
  job.ChannelsArg = " CH";
  job.SampleRateArg = " SR";
  job.FormatArg = " FM";
  job.TrimArg = " TR";
  EXPECT_EQ(ComposeCommand(CommandForm::V, job, "/o/a.mp4"),
            "\"/p/evc\" -y -i \"/s/a.avi\" C VB VS FR AS AB VO CH SR FM TR \"/o/a.mp4\"");
  EXPECT_EQ(ComposeCommand(CommandForm::A, job, "/o/a.mp3"),
            "\"/p/evc\" -y -i \"/s/a.avi\" C AB VO CH SR FM TR \"/o/a.mp3\"");
  // Size before bitrate, and a fixed narrow-band channel and rate.
  EXPECT_EQ(ComposeCommand(CommandForm::N, job, "/o/a.3gp"),
            "\"/p/evc\" -y -i \"/s/a.avi\" C VS VB AB VO -ac 1 -ar 8000 FM TR \"/o/a.3gp\"");
  EXPECT_EQ(ComposeCommand(CommandForm::T, job, "/o/a.mpg"), "\"/p/evc\" -y -i \"/s/a.avi\" C TR \"/o/a.mpg\"");
  EXPECT_EQ(ComposeCommand(CommandForm::None, job, "/o/a.mpg"), "");
}
