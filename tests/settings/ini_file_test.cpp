#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "fakes.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "test_program.h"

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class IniFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("test.ini");
  std::string Content() { return ReadFile(path).value_or("<missing>"); }
};

}  // namespace

TEST_F(IniFile, FirstWriteCreatesEmptyLineHeaderAndKeyEndedByCrLf) {
  TIniFile32(path).WriteString("USRInfo", "SHWDDir", "1");
  EXPECT_EQ(Content(), "\r\n[USRInfo]\r\nSHWDDir=1\r\n");
  TIniFile32(path).WriteString("USRInfo", "SHUTDOWN", "0");
  EXPECT_EQ(Content(), "\r\n[USRInfo]\r\nSHWDDir=1\r\nSHUTDOWN=0\r\n");
}

TEST_F(IniFile, NewKeyGoesBeforeTheNextHeaderAfterTheEmptyLineInFrontOfIt) {
  {
    TIniFile32 ini(path);
    ini.WriteString("A", "k", "1");
    ini.WriteString("B", "x", "2");
    ini.WriteString("A", "new", "3");
  }
  EXPECT_EQ(Content(), "\r\n[A]\r\nk=1\r\n\r\nnew=3\r\n[B]\r\nx=2\r\n");
}

TEST_F(IniFile, ExistingKeyIsReplacedInPlaceWithoutItsSpacing) {
  WriteFile(path, "[S]\r\n  key  =  old  \r\nother=1\r\n");
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadString("S", "key", "d"), "old");
  ini.WriteString("S", "key", " new ");
  EXPECT_EQ(Content(), "[S]\r\nkey= new \r\nother=1\r\n");
}

TEST_F(IniFile, EmptyValuesMissingKeysAndEmptyKeyNamesReadAsTheDefault) {
  WriteFile(path, "[S]\nempty=\nblank=   \n=orphan\nv=a=b\n");
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadString("S", "empty", "def"), "def");
  EXPECT_EQ(ini.ReadString("S", "blank", "def"), "def");
  EXPECT_EQ(ini.ReadString("S", "missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("S", "", "def"), "def");
  EXPECT_EQ(ini.ReadString("S", "v", "def"), "a=b");
  EXPECT_EQ(ini.ReadString("Nope", "v", "def"), "def");
}

TEST_F(IniFile, SectionsMatchWithoutLetterCaseKeysOnlyExactly) {
  WriteFile(path, "[usrinfo]\r\nKey=1\r\n");
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadString("USRInfo", "Key", "d"), "1");
  EXPECT_EQ(ini.ReadString("USRInfo", "key", "d"), "d");
  ini.WriteString("USRINFO", "key", "2");
  EXPECT_EQ(Content(), "[usrinfo]\r\nKey=1\r\nkey=2\r\n");
}

TEST_F(IniFile, HeadersWithBlanksAreListedTrimmedButNeverFoundByName) {
  WriteFile(path, "  [Spaced]  \r\na=1\r\n[ Inner ]\r\nb=2\r\n");
  TIniFile32 ini(path);
  std::vector<std::string> names{"stale"};
  ini.ReadSections(&names);
  EXPECT_EQ(names, (std::vector<std::string>{"Spaced", "Inner"}));
  EXPECT_EQ(ini.ReadString("Spaced", "a", "d"), "d");
  EXPECT_EQ(ini.ReadString("Inner", "b", "d"), "d");
  ini.WriteString("Inner", "b", "3");
  EXPECT_EQ(Content(), "  [Spaced]  \r\na=1\r\n[ Inner ]\r\nb=2\r\n\r\n[Inner]\r\nb=3\r\n");
}

TEST_F(IniFile, LinesBeforeTheFirstHeaderAreNeverReadAndSurviveWrites) {
  WriteFile(path, "loose=1\r\n;comment\r\n[S]\r\n;c=2\r\n");
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadString("S", "loose", "d"), "d");
  EXPECT_EQ(ini.ReadString("S", ";c", "d"), "2");  // no comment syntax
  ini.WriteString("S", "n", "x");
  ini.EraseSection("S");
  EXPECT_EQ(Content(), "loose=1\r\n;comment\r\n\r\n");
}

TEST_F(IniFile, OnlyTheFirstOfTwoSameNamedSectionsCounts) {
  WriteFile(path, "[S]\r\na=1\r\n[s]\r\na=2\r\n");
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadString("S", "a", "d"), "1");
  ini.EraseSection("S");
  EXPECT_EQ(Content(), "[s]\r\na=2\r\n");  // the header was the first line: no empty line
}

TEST_F(IniFile, ErasingLeavesOneMoreEmptyLineAndAMissingSectionLeavesTheFileAlone) {
  TIniFile32(path).WriteString("Only", "k", "v");
  TIniFile32(path).EraseSection("Only");
  EXPECT_EQ(Content(), "\r\n\r\n");

  WriteFile(path, "[A]\nk=1\n");
  struct stat before {};
  stat(path.c_str(), &before);
  TIniFile32(path).EraseSection("Missing");
  EXPECT_EQ(Content(), "[A]\nk=1\n");  // not rewritten: still LF-only
}

TEST_F(IniFile, IntegersReadDecimalAndBothHexFormsAndFallBackOnAnythingElse) {
  WriteFile(path, "[N]\na=0x1F\nb=$1F\nc=-42\nd=12ab\ne=2147483647\nf=2147483648\ng=-2147483648\nh=0X\ni=+7\nj=x\n");
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadInteger("N", "a", -1), 31);
  EXPECT_EQ(ini.ReadInteger("N", "b", -1), 31);
  EXPECT_EQ(ini.ReadInteger("N", "c", -1), -42);
  EXPECT_EQ(ini.ReadInteger("N", "d", -1), -1);
  EXPECT_EQ(ini.ReadInteger("N", "e", -1), 2147483647);
  EXPECT_EQ(ini.ReadInteger("N", "f", -1), -1);
  EXPECT_EQ(ini.ReadInteger("N", "g", -1), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("N", "h", -1), -1);
  EXPECT_EQ(ini.ReadInteger("N", "i", -1), 7);
  EXPECT_EQ(ini.ReadInteger("N", "j", -1), -1);
  EXPECT_EQ(ini.ReadInteger("N", "missing", 5), 5);
  ini.WriteInteger("N", "w", -17);
  EXPECT_EQ(TIniFile32(path).ReadString("N", "w", ""), "-17");
}

TEST_F(IniFile, LineBreaksOfEveryKindAreReadAndWrittenBackAsCrLf) {
  WriteFile(path, "[A]\ra=1\r[B]\nb=2\n\r\n[C]\r\nc=3");
  TIniFile32 ini(path);
  EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[A]", "a=1", "[B]", "b=2", "", "[C]", "c=3"}));
  EXPECT_EQ(ini.ReadString("A", "a", ""), "1");
  EXPECT_EQ(ini.ReadString("C", "c", ""), "3");
  ini.WriteString("C", "c", "4");
  EXPECT_EQ(Content(), "[A]\r\na=1\r\n[B]\r\nb=2\r\n\r\n[C]\r\nc=4\r\n");
}

TEST_F(IniFile, ANulByteHidesTheRestAndTheNextWriteDropsIt) {
  WriteFile(path, std::string("[S]\r\na=1\r\nb=2\0\r\nc=3\r\n", 21));
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadString("S", "b", "d"), "2");
  EXPECT_EQ(ini.ReadString("S", "c", "d"), "d");
  ini.WriteString("S", "a", "9");
  EXPECT_EQ(Content(), "[S]\r\na=9\r\nb=2\r\n");
}

TEST_F(IniFile, GarbageAndVeryLongLinesNeverCrash) {
  std::string garbage;
  for (int i = 0; i < 5000; ++i)
    garbage += static_cast<char>((i * 37 + 11) % 255 + 1);  // no NUL: that would hide the rest
  garbage += "\n[S]\nk=" + std::string(200000, 'v') + "\n";
  WriteFile(path, garbage);
  TIniFile32 ini(path);
  EXPECT_EQ(ini.ReadString("S", "k", "").size(), 200000u);
  std::vector<std::string> names;
  ini.ReadSections(&names);
  EXPECT_FALSE(names.empty());
  EXPECT_EQ(ini.ReadInteger("S", "k", 3), 3);
}

TEST_F(IniFile, EmptyOrMissingFilesReadAsEmptyAndAnEmptyKeyOnlyAddsASection) {
  TIniFile32 missing(dir.file("none.ini"));
  EXPECT_TRUE(missing.Lines().empty());
  std::vector<std::string> names{"x"};
  missing.ReadSections(&names);
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(Exists(dir.file("none.ini")));  // reading never creates

  TIniFile32 ini(path);
  ini.WriteString("S", "", "ignored");
  EXPECT_EQ(Content(), "\r\n[S]\r\n");
  ini.WriteString("S", "", "again");
  EXPECT_EQ(Content(), "\r\n[S]\r\n");
}

TEST_F(IniFile, ReadSectionsWithoutAListFailsWithTheAssertionText) {
  TIniFile32 ini(path);
  try {
    ini.ReadSections(nullptr);
    FAIL() << "no assertion";
  } catch (const AssertionError& e) {
    EXPECT_NE(std::string(e.what()).find("Param Strings must be assigned"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("IniFiles32, line 174"), std::string::npos);
  }
}

TEST_F(IniFile, AMissingFolderFailsWithTheCreateTextAndLeavesNothing) {
  const std::string nowhere = dir.file("NoConfig/UserSettings.ini");
  TIniFile32 ini(nowhere);
  try {
    ini.WriteString("USRInfo", "SHWDDir", "1");
    FAIL() << "no error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + nowhere + "\". No such file or directory");
  }
  EXPECT_FALSE(Exists(nowhere));
  EXPECT_TRUE(ini.Lines().empty());  // the failed change is not kept either
}

TEST_F(IniFile, AReadOnlyFileIsNotWrittenEvenForRoot) {
  WriteFile(path, "[S]\r\nk=1\r\n");
  ::chmod(path.c_str(), 0444);
  TIniFile32 ini(path);
  EXPECT_THROW(ini.WriteString("S", "k", "2"), FileCreateError);
  EXPECT_EQ(Content(), "[S]\r\nk=1\r\n");
  EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
}

TEST_F(IniFile, AParentThatIsAFileFailsTheWriteWithTheExactText) {
  WriteFile(dir.file("plain"), "x");
  const std::string bad = dir.file("plain/a.ini");
  try {
    TIniFile32(bad).WriteString("S", "k", "v");
    FAIL() << "no error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + bad + "\". Not a directory");
  }
}

TEST_F(IniFile, AFileThatExistsButCannotBeReadFailsConstructionWithTheOpenText) {
  // A FIFO with no writer would block; a file whose read fails is a folder
  // named like the file... which reads as missing. Use /proc's unreadable entry.
  const std::string unreadable = "/proc/self/mem";
  try {
    TIniFile32 ini(unreadable);
    // Some kernels allow opening but fail reading: either way it must be the open error.
    FAIL() << "constructed";
  } catch (const FileOpenError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"/proc/self/mem\". ", 0), 0u);
  }
}

namespace {

// Runs the step as an ordinary user: root would write into any folder. Returns
// the step's result; false when the step could not be run.
bool AsOrdinaryUser(const std::function<bool()>& step) {
  if (::geteuid() != 0) return step();
  const pid_t child = ::fork();
  if (child == 0) {
    bool ok = false;
    try {
      ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && step();
    } catch (...) {
    }
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST_F(IniFile, ASymlinkIsWrittenThroughToItsTargetAndStaysALink) {
  ::mkdir(dir.file("real").c_str(), 0755);
  const std::string target = dir.file("real/UserSettings.ini");
  WriteFile(target, "[USRInfo]\r\nSHWDDir=0\r\n");
  // A relative link, through a second link.
  ASSERT_EQ(::symlink("real/UserSettings.ini", dir.file("hop.ini").c_str()), 0);
  ASSERT_EQ(::symlink(dir.file("hop.ini").c_str(), path.c_str()), 0);
  TIniFile32(path).WriteString("USRInfo", "SHWDDir", "1");
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(target), "[USRInfo]\r\nSHWDDir=1\r\n");
  EXPECT_EQ(TIniFile32(path).ReadString("USRInfo", "SHWDDir", ""), "1");
  // A dangling link gets its file created where it points.
  ASSERT_EQ(::symlink("real/later.ini", dir.file("later.ini").c_str()), 0);
  TIniFile32(dir.file("later.ini")).WriteString("S", "k", "v");
  EXPECT_EQ(ReadFile(dir.file("real/later.ini")), "\r\n[S]\r\nk=v\r\n");
  // No temporary file is left behind anywhere.
  EXPECT_EQ(Entries(dir.file("real")), (std::vector<std::string>{"UserSettings.ini", "later.ini"}));
}

TEST_F(IniFile, ReplacingKeepsTheFilesPermissionsAndLeavesNoTemporaryFile) {
  WriteFile(path, "[S]\r\nk=1\r\n");
  ::chmod(path.c_str(), 0640);
  TIniFile32(path).WriteString("S", "k", "2");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"test.ini"});
}

TEST_F(IniFile, StaleTemporaryNamesNeverFailASave) {
  // What an older save may have left: a folder and a file at temporary names.
  ::mkdir((path + ".tmp~").c_str(), 0755);
  WriteFile(path + ".tmp0badf00d~", "half");
  for (int i = 0; i < 5; ++i) TIniFile32(path).WriteString("S", "k" + std::to_string(i), "v");
  EXPECT_EQ(TIniFile32(path).ReadString("S", "k4", ""), "v");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"test.ini", "test.ini.tmp0badf00d~", "test.ini.tmp~"}));
}

TEST_F(IniFile, AFolderThatTakesNoNewEntriesGetsItsWritableFileRewrittenInPlace) {
  const std::string locked = dir.file("locked");
  ::chmod(dir.path().c_str(), 0755);  // reachable for the ordinary user
  ::mkdir(locked.c_str(), 0755);
  const std::string file = locked + "/UserSettings.ini";
  WriteFile(file, "[USRInfo]\r\nOutDir=/old\r\n");
  ::chmod(file.c_str(), 0666);
  ::chmod(locked.c_str(), 0555);
  EXPECT_TRUE(AsOrdinaryUser([&] {
    TIniFile32(file).WriteString("USRInfo", "OutDir", "/new");
    return true;
  }));
  EXPECT_EQ(ReadFile(file), "[USRInfo]\r\nOutDir=/new\r\n");
  // Without a file there is nothing to rewrite: the usual create error.
  EXPECT_TRUE(AsOrdinaryUser([&] {
    try {
      TIniFile32(locked + "/Other.ini").WriteString("S", "k", "v");
    } catch (const FileCreateError& e) {
      return std::string(e.what()) == "Cannot create file \"" + locked + "/Other.ini\". Permission denied";
    }
    return false;
  }));
  ::chmod(locked.c_str(), 0755);
}

TEST_F(IniFile, AnythingButARegularFileIsRefusedWithAClearMessage) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  // Reading would block for ever on a FIFO without a writer.
  try {
    TIniFile32 ini(path);
    FAIL() << "read a FIFO";
  } catch (const FileOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\". It is not a regular file.");
  }
  // A device never ends.
  EXPECT_THROW(TIniFile32("/dev/zero"), FileOpenError);
  // Nor is one written: here a FIFO took the file's place after it was read.
  const std::string later = dir.file("later.ini");
  TIniFile32 ini(later);
  ASSERT_EQ(::mkfifo(later.c_str(), 0644), 0);
  try {
    ini.WriteString("S", "k", "v");
    FAIL() << "wrote a FIFO";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + later + "\". It is not a regular file.");
  }
}

TEST_F(IniFile, ALineBreakIsNeverWrittenIntoTheFile) {
  WriteFile(path, "[USRInfo]\r\nOutDir=/old\r\n");
  TIniFile32 ini(path);
  EXPECT_THROW(ini.WriteString("USRInfo", "OutDir", "/x\nSHUTDOWN=1"), AppError);
  EXPECT_THROW(ini.WriteString("USRInfo", "Out\rDir", "/x"), AppError);
  EXPECT_THROW(ini.WriteString("a\r\n[b", "k", "v"), AppError);
  EXPECT_EQ(Content(), "[USRInfo]\r\nOutDir=/old\r\n");
  EXPECT_EQ(ini.ReadString("USRInfo", "OutDir", ""), "/old");
}

TEST(IniWrappers, ReadFilesInTheConfigFolderOfTheProgram) {
  testing_support::TestProgram tp;
  TCommonLib& lib = tp->CommonLib();
  EXPECT_TRUE(lib.ReadIniSections("UserProfileInfo.ini").empty());
  EXPECT_EQ(lib.ReadNamedValue("UserProfileInfo.ini", "Travel"), "");
  WriteFile(tp.AppDir() + "Config/UserProfileInfo.ini", "\r\n[Travel]\r\nTravel=1|5|2|5|1|2\r\n\r\n[Car]\r\n");
  EXPECT_EQ(lib.ReadIniSections("UserProfileInfo.ini"), (std::vector<std::string>{"Travel", "Car"}));
  EXPECT_EQ(lib.ReadNamedValue("UserProfileInfo.ini", "TRAVEL"), "");  // key case matters
  EXPECT_EQ(lib.ReadNamedValue("UserProfileInfo.ini", "Travel"), "1|5|2|5|1|2");
}

TEST(InitDir, DefaultsToTheHomeFolderAndFollowsTheOpenDialogsLastFolder) {
  testing_support::TestProgram tp;
  TCustomProc& proc = tp->CustomProc();
  EXPECT_EQ(proc.ReadInitDir(), platform::DefaultInitDir());
  proc.SaveInitDir();  // the dialog never returned a file: nothing written
  EXPECT_FALSE(Exists(tp.AppDir() + "Config/UserSettings.ini"));

  tp.dialogs.open_answers.push_back({"/media/clips/a.avi", "/other/b.avi"});
  ASSERT_TRUE(tp->MainForm().dlgOpenSourceFile.Execute(tp.dialogs));
  proc.SaveInitDir();
  EXPECT_EQ(proc.ReadInitDir(), "/media/clips/");
  EXPECT_EQ(ReadFile(tp.AppDir() + "Config/UserSettings.ini"), "\r\n[USRInfo]\r\nInitDir=/media/clips/\r\n");

  // A cancelled dialog keeps the files it returned before.
  EXPECT_FALSE(tp->MainForm().dlgOpenSourceFile.Execute(tp.dialogs));
  proc.SaveInitDir();
  EXPECT_EQ(proc.ReadInitDir(), "/media/clips/");
}
