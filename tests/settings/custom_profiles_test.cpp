#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "settings_fixture.h"

using settings_test::kNormalVideo;
using settings_test::SettingsTest;
using testing_support::Exists;

namespace {

constexpr const char* kProfiles = "UserProfileInfo.ini";
constexpr const char* kCount = "UserProfileCount.ini";

class CustomProfiles : public SettingsTest {
 protected:
  void SetUp() override { StartUp(); }
  void Reload() { options.cbbCustomProfile.SetItems(program.CommonLib().ReadIniSections(kProfiles)); }
  // Picks a stored profile in the dialog's box by name, as code does.
  void Select(const std::string& name) {
    Reload();
    const auto& items = options.cbbCustomProfile.Items();
    const auto it = std::find(items.begin(), items.end(), name);
    ASSERT_NE(it, items.end()) << name;
    options.cbbCustomProfile.SetItemIndex(static_cast<int>(it - items.begin()));
  }
  std::string Prompt(int i) const { return tp.dialogs.prompts.at(static_cast<size_t>(i)); }
};

}  // namespace

TEST_F(CustomProfiles, AddingTheProposedNameOnAFreshInstallationCreatesBothFiles) {
  tp.dialogs.input_answers.push_back("UserProfileInfo1");
  proc.AddCustomProfile();
  EXPECT_EQ(Prompt(0), "Video To Plim Converter|Plese input a name|UserProfileInfo1");
  EXPECT_EQ(Content(kCount), "\r\n[count]\r\ncount=1\r\n");
  EXPECT_EQ(Content(kProfiles), "\r\n[UserProfileInfo1]\r\nUserProfileInfo1=1|1|2|5|1|2\r\n");
}

TEST_F(CustomProfiles, ACancelledAddStillCountsSoTheNextProposalSkipsANumber) {
  proc.AddCustomProfile();  // the prompt is cancelled
  EXPECT_FALSE(Exists(ConfigFile(kProfiles)));
  EXPECT_EQ(Content(kCount), "\r\n[count]\r\ncount=1\r\n");
  tp.dialogs.input_answers.push_back("Mine");
  proc.AddCustomProfile();
  EXPECT_EQ(Prompt(1), "Video To Plim Converter|Plese input a name|UserProfileInfo2");
  EXPECT_EQ(Content(kCount), "\r\n[count]\r\ncount=2\r\n");
  EXPECT_EQ(Content(kProfiles), "\r\n[Mine]\r\nMine=1|1|2|5|1|2\r\n");
}

TEST_F(CustomProfiles, TheCounterOnlyGrowsAndSurvivesAHandEditedExtreme) {
  Write(kCount, "[count]\r\ncount=0x10\r\n");
  proc.AddCustomProfile();
  EXPECT_EQ(Prompt(0), "Video To Plim Converter|Plese input a name|UserProfileInfo17");
  Write(kCount, "[count]\r\ncount=2147483647\r\n");
  proc.AddCustomProfile();
  EXPECT_EQ(Prompt(1), "Video To Plim Converter|Plese input a name|UserProfileInfo2147483648");
}

TEST_F(CustomProfiles, TheCounterIsWrittenBeforeAskingSoAMissingConfigFolderAsksNothing) {
  std::filesystem::remove_all(tp.AppDir() + "Config");
  EXPECT_THROW(proc.AddCustomProfile(), FileCreateError);
  EXPECT_TRUE(tp.dialogs.prompts.empty());
}

TEST_F(CustomProfiles, AnEmptyNameStoresAnEmptySectionThatIsListedAndAppliesNothing) {
  tp.dialogs.input_answers.push_back("");
  proc.AddCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[]\r\n");
  Select("");
  SelectProfilePositions({0, 0, 0, 0, 0, 0});
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(CustomProfiles, StoringAnExistingNameOverwritesInPlaceAndANewNameGoesLast) {
  for (const char* name : {"A", "B"}) {
    tp.dialogs.input_answers.push_back(name);
    proc.AddCustomProfile();
  }
  SelectProfilePositions({0, 3, 1, 8, 0, 0});
  tp.dialogs.input_answers.push_back("A");
  proc.AddCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[A]\r\nA=0|3|1|8|0|0\r\n\r\n[B]\r\nB=1|1|2|5|1|2\r\n");

  options.cbbCustomProfile.UserType("C");
  SelectProfilePositions({2, 6, 4, 0, 1, 3});
  proc.SaveCustomProfile();
  Reload();
  options.cbbCustomProfile.SetItemIndex(0);  // "A", picked
  SelectProfilePositions({1, 1, 1, 1, 1, 1});
  proc.SaveCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[A]\r\nA=1|1|1|1|1|1\r\n\r\n[B]\r\nB=1|1|2|5|1|2\r\n\r\n[C]\r\nC=2|6|4|0|1|3\r\n");
}

TEST_F(CustomProfiles, SavingWithoutANameWritesNothing) {
  proc.SaveCustomProfile();
  options.cbbCustomProfile.UserType("   ");
  proc.SaveCustomProfile();
  EXPECT_FALSE(Exists(ConfigFile(kProfiles)));
}

TEST_F(CustomProfiles, AListWithoutSelectionIsStoredAsMinusOneAndAppliedAsNone) {
  options.cbbFramerate.SetItemIndex(ui::ListBox::kNone);
  options.cbbCustomProfile.UserType("Gap");
  proc.SaveCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[Gap]\r\nGap=1|-1|2|5|1|2\r\n");
  options.cbbFramerate.SetItemIndex(4);
  Select("Gap");
  proc.ApplyCustomProfile();
  EXPECT_EQ(options.cbbFramerate.ItemIndex(), ui::ListBox::kNone);
}

TEST_F(CustomProfiles, DeletingLeavesAnEmptyLineAndAnUnknownNameLeavesTheFileAlone) {
  Write(kProfiles, "\r\n[A]\r\nA=1|1|1|1|1|1\r\n\r\n[B]\r\nB=0|0|0|0|0|0\r\n");
  Select("A");
  proc.DeleteCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n\r\n[B]\r\nB=0|0|0|0|0|0\r\n");

  Write(kProfiles, "[B]\nB=0|0|0|0|0|0\n");  // LF only: a rewrite would show as CR LF
  options.cbbCustomProfile.UserType("Nope");
  proc.DeleteCustomProfile();
  EXPECT_EQ(Content(kProfiles), "[B]\nB=0|0|0|0|0|0\n");
}

TEST_F(CustomProfiles, DeletingNeedsItemsInTheBoxWhateverItShows) {
  Write(kProfiles, "\r\n[A]\r\nA=1|1|1|1|1|1\r\n");
  options.cbbCustomProfile.UserType("A");  // the box was never filled
  proc.DeleteCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[A]\r\nA=1|1|1|1|1|1\r\n");
  Reload();
  proc.DeleteCustomProfile();  // the typed "A" is still shown
  EXPECT_EQ(Content(kProfiles), "\r\n\r\n");
}

TEST_F(CustomProfiles, AppliedFieldsSetTheirListsAndOutOfRangePositionsSelectNone) {
  Write(kProfiles, "[P]\r\nP=2|6|0|99|0|-1\r\n");
  Select("P");
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 6, 0, -1, 0, -1}));
  // Aspect ratio and volume are no part of a profile.
  EXPECT_EQ(options.cbbAspectratio.Text(), "4:3");
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "200");
}

TEST_F(CustomProfiles, AValueOfAnotherShapeIsIgnoredWithoutAMessage) {
  Write(kProfiles,
        "[Five]\r\nFive=0|0|0|0|0\r\n[Trailing]\r\nTrailing=0|0|0|0|0|\r\n[Seven]\r\nSeven=0|0|0|0|0|0|0\r\n"
        "[NoKey]\r\nother=0|0|0|0|0|0\r\n");
  for (const char* name : {"Five", "Trailing", "Seven", "NoKey"}) {
    Select(name);
    proc.ApplyCustomProfile();
    EXPECT_EQ(ProfilePositions(), kNormalVideo) << name;
  }
  EXPECT_TRUE(tp.dialogs.messages.empty());
}

TEST_F(CustomProfiles, EmptyFieldsInsideTheValueAreSkipped) {
  Write(kProfiles, "[Holes]\r\nHoles=0||0||0|0\r\n");
  Select("Holes");
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 1, 0, 5, 0, 0}));
}

TEST_F(CustomProfiles, ANonIntegerFieldStopsTheApplyAfterTheFieldsBeforeIt) {
  Write(kProfiles, "[Bad]\r\nBad=0|0|2a|0|0|0\r\n[Hex]\r\nHex=0|$1|0|0|0|0\r\n[Spaced]\r\nSpaced=0| 1|0|0|0|0\r\n");
  Select("Bad");
  try {
    proc.ApplyCustomProfile();
    FAIL() << "no error";
  } catch (const ConversionError& error) {
    EXPECT_STREQ(error.what(), "'2a' is not a valid integer value");
  }
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 2, 5, 1, 2}));

  for (const char* name : {"Hex", "Spaced"}) {
    SelectProfilePositions(kNormalVideo);
    Select(name);
    EXPECT_THROW(proc.ApplyCustomProfile(), ConversionError) << name;
    EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 1, 2, 5, 1, 2})) << name;
  }
}

TEST_F(CustomProfiles, TheSelectionNotTheTypedTextNamesTheProfile) {
  Write(kProfiles, "[A]\r\nA=0|0|0|0|0|0\r\n");
  Reload();
  options.cbbCustomProfile.UserType("A");  // runs the change handler: applies nothing
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
  EXPECT_EQ(proc.CustomProfileValue(), "");
  options.cbbCustomProfile.UserSelect(0);
  EXPECT_EQ(proc.CustomProfileValue(), "0|0|0|0|0|0");
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(CustomProfiles, TheSelectedProfileIsAppliedAgainEachTimeItIsAskedFor) {
  Write(kProfiles, "[A]\r\nA=0|6|0|8|0|1\r\n");
  Select("A");
  for (int job = 0; job < 3; ++job) {
    main.cbbProfile.UserSelect(job);  // a quality level moves the lists away
    EXPECT_NE(ProfilePositions(), (std::vector<int>{0, 6, 0, 8, 0, 1}));
    proc.ApplyCustomProfile();
    EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 6, 0, 8, 0, 1})) << job;
  }
  // The file is read anew each time: an edit shows at the next build.
  Write(kProfiles, "[A]\r\nA=2|2|2|2|1|2\r\n");
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 2, 2, 2, 1, 2}));
}

TEST_F(CustomProfiles, NamesDifferingOnlyInCaseUpdateTheStoredProfile) {
  tp.dialogs.input_answers.push_back("Travel");
  proc.AddCustomProfile();
  SelectProfilePositions({0, 0, 0, 0, 0, 0});
  tp.dialogs.input_answers.push_back("TRAVEL");
  proc.AddCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[Travel]\r\nTravel=0|0|0|0|0|0\r\n");
  options.cbbCustomProfile.UserType("travel");
  SelectProfilePositions({2, 2, 2, 2, 0, 0});
  proc.SaveCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[Travel]\r\nTravel=2|2|2|2|0|0\r\n");
  Select("Travel");
  SelectProfilePositions(kNormalVideo);
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 2, 2, 2, 0, 0}));
  // Deleting in other letter case removes it too.
  options.cbbCustomProfile.UserType("tRaVeL");
  proc.DeleteCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n\r\n");
}

TEST_F(CustomProfiles, AFileWithASecondCaseKeyInOneSectionListsAndAppliesTheFirst) {
  Write(kProfiles, "\r\n[Travel]\r\nTravel=0|0|0|0|0|0\r\ntravel=2|2|2|2|1|2\r\n");
  Reload();
  EXPECT_EQ(options.cbbCustomProfile.Items(), std::vector<std::string>{"Travel"});
  options.cbbCustomProfile.UserSelect(0);
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(CustomProfiles, BlanksAroundATypedNameAreDropped) {
  tp.dialogs.input_answers.push_back("  Beach ");
  proc.AddCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[Beach]\r\nBeach=1|1|2|5|1|2\r\n");
  Select("Beach");
  SelectProfilePositions({0, 0, 0, 0, 0, 0});
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), kNormalVideo);
}
