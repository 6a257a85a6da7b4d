// Where settings, log and scratch files go: beside the program when it has a
// Config folder, else in the user's XDG folders.
#include "platform/data_layout.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "fakes.h"
#include "platform/platform.h"

using testing_support::Exists;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// An environment of the test's own: only the variables it names are set.
struct FakeEnv {
  std::map<std::string, std::string> vars;
  platform::Environment lookup() const {
    return [this](const char* name) {
      auto it = vars.find(name);
      return it == vars.end() ? std::string() : it->second;
    };
  }
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(DataLayout, AProgramFolderWithConfigKeepsEverythingBesideTheProgram) {
  TempDir program;
  std::filesystem::create_directory(program.file("Config"));
  // The XDG variables are there and must not matter.
  const FakeEnv env{{{"HOME", "/home/ann"},
                     {"XDG_CONFIG_HOME", "/elsewhere/config"},
                     {"XDG_STATE_HOME", "/elsewhere/state"},
                     {"XDG_RUNTIME_DIR", "/run/user/1000"}}};
  const platform::DataLayout layout = platform::ResolveDataLayout(program.path(), env.lookup());
  EXPECT_FALSE(layout.installed);
  EXPECT_EQ(layout.program_folder, program.path());
  EXPECT_EQ(layout.config_folder, program.path() + "Config/");
  EXPECT_EQ(layout.log_file, program.path() + "log.txt");
  EXPECT_EQ(layout.scratch_folder, program.path());
  EXPECT_EQ(layout.default_output_folder, "/home/ann/Video To Plim Converter");
  EXPECT_EQ(layout.relative_base, program.path());
  // The trailing separator is optional on the way in.
  EXPECT_EQ(
      platform::ResolveDataLayout(program.path().substr(0, program.path().size() - 1), env.lookup()).config_folder,
      program.path() + "Config/");
  EXPECT_EQ(platform::PrepareDataFolders(layout), "");
}

TEST(DataLayout, WithoutConfigTheXdgVariablesPlaceEachKindOfData) {
  TempDir program, runtime;
  WriteFile(program.file("Config"), "a file is no Config folder");
  FakeEnv env{{{"HOME", "/home/ann/"},
               {"XDG_CONFIG_HOME", "/x/config/"},
               {"XDG_STATE_HOME", "/x/state"},
               {"XDG_CACHE_HOME", "/x/cache"},
               {"XDG_RUNTIME_DIR", runtime.path()}}};
  platform::DataLayout layout = platform::ResolveDataLayout(program.path(), env.lookup());
  EXPECT_TRUE(layout.installed);
  EXPECT_EQ(layout.program_folder, program.path());
  EXPECT_EQ(layout.config_folder, "/x/config/video-to-plim-converter/");
  EXPECT_EQ(layout.log_file, "/x/state/video-to-plim-converter/log.txt");
  EXPECT_EQ(layout.scratch_folder, runtime.path() + "video-to-plim-converter/");
  EXPECT_EQ(layout.default_output_folder, "/home/ann/Videos/Video To Plim Converter");
  EXPECT_EQ(layout.relative_base, "/home/ann/");

  // A runtime folder that is gone (a variable kept by su from another session)
  // cannot hold scratch files: the cache does.
  env.vars["XDG_RUNTIME_DIR"] = runtime.file("gone");
  layout = platform::ResolveDataLayout(program.path(), env.lookup());
  EXPECT_EQ(layout.scratch_folder, "/x/cache/video-to-plim-converter/");
}

TEST(DataLayout, WithoutXdgVariablesTheDefaultsLieBelowTheHomeFolder) {
  TempDir program;
  FakeEnv env{{{"HOME", "/home/bob"}}};
  platform::DataLayout layout = platform::ResolveDataLayout(program.path(), env.lookup());
  EXPECT_TRUE(layout.installed);
  EXPECT_EQ(layout.config_folder, "/home/bob/.config/video-to-plim-converter/");
  EXPECT_EQ(layout.log_file, "/home/bob/.local/state/video-to-plim-converter/log.txt");
  // No runtime folder: a private one in the cache.
  EXPECT_EQ(layout.scratch_folder, "/home/bob/.cache/video-to-plim-converter/");
  EXPECT_EQ(layout.default_output_folder, "/home/bob/Videos/Video To Plim Converter");

  // Relative values are not valid XDG folders and are passed over; so are empty ones.
  env.vars["XDG_CONFIG_HOME"] = "relative/config";
  env.vars["XDG_STATE_HOME"] = "";
  env.vars["XDG_RUNTIME_DIR"] = "run";
  layout = platform::ResolveDataLayout(program.path(), env.lookup());
  EXPECT_EQ(layout.config_folder, "/home/bob/.config/video-to-plim-converter/");
  EXPECT_EQ(layout.log_file, "/home/bob/.local/state/video-to-plim-converter/log.txt");
  EXPECT_EQ(layout.scratch_folder, "/home/bob/.cache/video-to-plim-converter/");

  // Without HOME the account's home folder is used, never a relative path.
  layout = platform::ResolveDataLayout(program.path(), FakeEnv{}.lookup());
  EXPECT_EQ(layout.config_folder.front(), '/');
  EXPECT_EQ(layout.default_output_folder.front(), '/');
}

TEST(DataLayout, TheVideosFolderComesFromUserDirsAsXdgUserDirsWritesIt) {
  TempDir home;
  FakeEnv env{{{"HOME", home.path()}}};
  const std::string home_folder = home.path().substr(0, home.path().size() - 1);
  EXPECT_EQ(platform::VideosFolder(env.lookup()), home_folder + "/Videos");

  std::filesystem::create_directories(home.file(".config"));
  WriteFile(home.file(".config/user-dirs.dirs"),
            "# XDG_VIDEOS_DIR=\"$HOME/Commented\"\n"
            "XDG_MUSIC_DIR=\"$HOME/Musik\"\n"
            "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
  EXPECT_EQ(platform::VideosFolder(env.lookup()), home_folder + "/Filme");
  EXPECT_EQ(platform::InstalledLayout("/usr/lib/x/", env.lookup()).default_output_folder,
            home_folder + "/Filme/Video To Plim Converter");

  WriteFile(home.file(".config/user-dirs.dirs"), "XDG_VIDEOS_DIR=\"/srv/media/video/\"\r\n");
  EXPECT_EQ(platform::VideosFolder(env.lookup()), "/srv/media/video");
  // A value that is neither $HOME/... nor absolute is no folder: the default holds.
  WriteFile(home.file(".config/user-dirs.dirs"), "XDG_VIDEOS_DIR=\"Filme\"\nXDG_VIDEOS_DIR=$HOME/NoQuotes\n");
  EXPECT_EQ(platform::VideosFolder(env.lookup()), home_folder + "/Videos");

  // The file is looked up in XDG_CONFIG_HOME when that is set.
  TempDir config;
  WriteFile(config.file("user-dirs.dirs"), "XDG_VIDEOS_DIR=\"$HOME/Clips\"\n");
  env.vars["XDG_CONFIG_HOME"] = config.path();
  EXPECT_EQ(platform::VideosFolder(env.lookup()), home_folder + "/Clips");
}

TEST(DataLayout, PreparingMakesTheFoldersAndKeepsScratchPrivate) {
  TempDir home, program;
  std::filesystem::create_directory(home.file("run"));
  ::chmod(home.file("run").c_str(), 0711);
  const FakeEnv env{{{"HOME", home.path()}, {"XDG_RUNTIME_DIR", home.file("run")}}};
  const platform::DataLayout layout = platform::InstalledLayout(program.path(), env.lookup());
  ASSERT_EQ(platform::PrepareDataFolders(layout), "");
  EXPECT_TRUE(std::filesystem::is_directory(layout.config_folder));
  EXPECT_TRUE(std::filesystem::is_directory(home.file(".local/state/video-to-plim-converter")));
  EXPECT_EQ(ModeOf(home.file("run/video-to-plim-converter")), 0700u);
  // Base folders that were missing are made private too; one that was there keeps its mode.
  EXPECT_EQ(ModeOf(home.file(".config")), 0700u);
  EXPECT_EQ(ModeOf(home.file(".local")), 0700u);
  EXPECT_EQ(ModeOf(home.file("run")), 0711u);
  // Nothing beside the program.
  EXPECT_TRUE(std::filesystem::is_empty(program.path()));

  // A scratch folder someone opened up is closed again; preparing twice is fine.
  ::chmod(layout.scratch_folder.c_str(), 0777);
  ASSERT_EQ(platform::PrepareDataFolders(layout), "");
  EXPECT_EQ(ModeOf(home.file("run/video-to-plim-converter")), 0700u);

  // A link in its place could point anywhere: refused.
  std::filesystem::remove(home.file("run/video-to-plim-converter"));
  std::filesystem::create_directory(home.file("elsewhere"));
  std::filesystem::create_directory_symlink(home.file("elsewhere"), home.file("run/video-to-plim-converter"));
  const std::string problems = platform::PrepareDataFolders(layout);
  EXPECT_NE(problems.find("scratch files"), std::string::npos) << problems;
}

TEST(DataLayout, AStateFolderThatCannotBeMadeIsNamedWithItsReason) {
  TempDir home, program;
  // A file where a folder is needed stops even root, who may write anywhere else.
  WriteFile(home.file("state"), "not a folder");
  const FakeEnv env{{{"HOME", home.path()}, {"XDG_STATE_HOME", home.file("state")}}};
  const platform::DataLayout layout = platform::InstalledLayout(program.path(), env.lookup());
  const std::string problems = platform::PrepareDataFolders(layout);
  EXPECT_EQ(problems, "Cannot create the folder \"" + home.file("state/video-to-plim-converter") +
                          "\" for the log: Not a directory.");
  // The others are made all the same.
  EXPECT_TRUE(std::filesystem::is_directory(layout.config_folder));
  EXPECT_TRUE(std::filesystem::is_directory(layout.scratch_folder));
}

TEST(DataLayout, TheRunningProgramIsLaidOutByItsOwnFolder) {
  const platform::DataLayout& layout = platform::CurrentDataLayout();
  EXPECT_EQ(layout.program_folder, platform::ExecutableFolder());
  EXPECT_EQ(&layout, &platform::CurrentDataLayout());
}

}  // namespace
