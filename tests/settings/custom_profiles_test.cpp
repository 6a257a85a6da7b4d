#include <gtest/gtest.h>

#include <algorithm>
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
  void Add(const std::optional<std::string>& answer) {
    tp.dialogs.input_answers.push_back(answer);
    proc.AddCustomProfile();
  }
  std::string Proposal(size_t i) const {
    const std::string& prompt = tp.dialogs.prompts.at(i);
    EXPECT_EQ(prompt.rfind("Video To Plim Converter|Please input a name|", 0), 0u) << prompt;
    return prompt.substr(prompt.rfind('|') + 1);
  }
};

}  // namespace

TEST_F(CustomProfiles, AddingTheProposedNameOnAFreshInstallationCreatesBothFiles) {
  Add("UserProfileInfo1");
  EXPECT_EQ(Proposal(0), "UserProfileInfo1");
  EXPECT_EQ(Content(kCount), "\r\n[count]\r\ncount=1\r\n");
  EXPECT_EQ(Content(kProfiles), "\r\n[UserProfileInfo1]\r\nUserProfileInfo1=1|1|2|5|1|2\r\n");
}

TEST_F(CustomProfiles, EveryAddCountsCancelledOnesToo) {
  Add(std::nullopt);
  EXPECT_FALSE(Exists(ConfigFile(kProfiles)));
  Add("Mine");
  EXPECT_EQ(Proposal(1), "UserProfileInfo2");
  EXPECT_EQ(Content(kCount), "\r\n[count]\r\ncount=2\r\n");
  EXPECT_EQ(Content(kProfiles), "\r\n[Mine]\r\nMine=1|1|2|5|1|2\r\n");

  Write(kCount, "[count]\r\ncount=0x10\r\n");
  Add(std::nullopt);
  EXPECT_EQ(Proposal(2), "UserProfileInfo17");
  Write(kCount, "[count]\r\ncount=2147483647\r\n");
  Add(std::nullopt);
  EXPECT_EQ(Proposal(3), "UserProfileInfo2147483648");

  // The counter is written before asking: without a Config folder nothing is asked.
  std::filesystem::remove_all(tp.AppDir() + "Config");
  EXPECT_THROW(proc.AddCustomProfile(), FileCreateError);
  EXPECT_EQ(tp.dialogs.prompts.size(), 4u);
}

TEST_F(CustomProfiles, AnEmptyNameStoresAnEmptySectionThatIsListedAndAppliesNothing) {
  Add("");
  EXPECT_EQ(Content(kProfiles), "\r\n[]\r\n");
  Select("");
  SelectProfilePositions({0, 0, 0, 0, 0, 0});
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(CustomProfiles, StoringAnExistingNameOverwritesInPlaceAndANewNameGoesLast) {
  Add("A");
  Add("B");
  SelectProfilePositions({0, 3, 1, 8, 0, -1});
  Add("A");
  EXPECT_EQ(Content(kProfiles), "\r\n[A]\r\nA=0|3|1|8|0|-1\r\n\r\n[B]\r\nB=1|1|2|5|1|2\r\n");

  options.cbbCustomProfile.UserType("C");
  SelectProfilePositions({2, 6, 4, 0, 1, 3});
  proc.SaveCustomProfile();
  Select("A");  // picked rather than typed
  SelectProfilePositions({1, 1, 1, 1, 1, 1});
  proc.SaveCustomProfile();
  options.cbbCustomProfile.UserType("   ");  // no name: nothing stored
  proc.SaveCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[A]\r\nA=1|1|1|1|1|1\r\n\r\n[B]\r\nB=1|1|2|5|1|2\r\n\r\n[C]\r\nC=2|6|4|0|1|3\r\n");
}

TEST_F(CustomProfiles, DeletingLeavesAnEmptyLineAndNeedsItemsAndAKnownName) {
  Write(kProfiles, "\r\n[A]\r\nA=1|1|1|1|1|1\r\n\r\n[B]\r\nB=0|0|0|0|0|0\r\n");
  options.cbbCustomProfile.UserType("A");  // the box was never filled
  options.cbbCustomProfile.SetItems({});
  proc.DeleteCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[A]\r\nA=1|1|1|1|1|1\r\n\r\n[B]\r\nB=0|0|0|0|0|0\r\n");
  Reload();
  proc.DeleteCustomProfile();  // the typed "A" is still shown
  EXPECT_EQ(Content(kProfiles), "\r\n\r\n[B]\r\nB=0|0|0|0|0|0\r\n");

  Write(kProfiles, "[B]\nB=0|0|0|0|0|0\n");  // LF only: a rewrite would show as CR LF
  options.cbbCustomProfile.UserType("Nope");
  proc.DeleteCustomProfile();
  EXPECT_EQ(Content(kProfiles), "[B]\nB=0|0|0|0|0|0\n");
}

TEST_F(CustomProfiles, FieldsSetTheirListsAndPositionsOutsideAListSelectNone) {
  Write(kProfiles, "[P]\r\nP=2|6|0|99|0|-1\r\n[Holes]\r\nHoles=0||0||0|0\r\n");
  Select("P");
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 6, 0, -1, 0, -1}));
  EXPECT_EQ(options.cbbAspectratio.Text(), "4:3");  // no part of a profile
  EXPECT_EQ(options.cbbAudioVolumeGain.Text(), "200");

  SelectProfilePositions(kNormalVideo);
  Select("Holes");  // empty inner fields leave their lists alone
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 1, 0, 5, 0, 0}));
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
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(CustomProfiles, TheSelectedProfileIsReadAndAppliedAnewForEveryCommand) {
  Write(kProfiles, "[A]\r\nA=0|6|0|8|0|1\r\n");
  Select("A");
  for (int level = 0; level < 3; ++level) {
    main.cbbProfile.UserSelect(level);  // a quality level moves the lists away
    EXPECT_NE(ProfilePositions(), (std::vector<int>{0, 6, 0, 8, 0, 1}));
    proc.ApplyCustomProfile();
    EXPECT_EQ(ProfilePositions(), (std::vector<int>{0, 6, 0, 8, 0, 1})) << level;
  }
  Write(kProfiles, "[A]\r\nA=2|2|2|2|1|2\r\n");
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 2, 2, 2, 1, 2}));
}

TEST_F(CustomProfiles, NamesDifferingInCaseOrByBlanksAroundThemNameTheStoredProfile) {
  Add("  Travel ");
  SelectProfilePositions({0, 0, 0, 0, 0, 0});
  Add("TRAVEL");
  EXPECT_EQ(Content(kProfiles), "\r\n[Travel]\r\nTravel=0|0|0|0|0|0\r\n");
  options.cbbCustomProfile.UserType("travel");
  SelectProfilePositions({2, 2, 2, 2, 0, 0});
  proc.SaveCustomProfile();
  EXPECT_EQ(Content(kProfiles), "\r\n[Travel]\r\nTravel=2|2|2|2|0|0\r\n");
  Select("Travel");
  SelectProfilePositions(kNormalVideo);
  proc.ApplyCustomProfile();
  EXPECT_EQ(ProfilePositions(), (std::vector<int>{2, 2, 2, 2, 0, 0}));
  options.cbbCustomProfile.UserType("tRaVeL ");
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

TEST_F(CustomProfiles, NamesTheFileCouldNotHoldAreRefusedAtAddAndSave) {
  Add("Good");
  const std::string before = Content(kProfiles);
  const std::string warning =
      "A profile name must not contain \"=\", \"[\", \"]\", line breaks or other control characters.";
  for (const std::string& name : std::vector<std::string>{"a=b", "[x", "y]", "[z]", "two\nlines", "cr\rhere",
                                                          "tab\there", std::string("n\0l", 3), "del\x7f"}) {
    tp.dialogs.messages.clear();
    Add(name);
    options.cbbCustomProfile.UserType(name);
    proc.SaveCustomProfile();
    ASSERT_EQ(tp.dialogs.messages.size(), 2u) << name;
    for (const auto& m : tp.dialogs.messages) {
      EXPECT_EQ(m.kind, ui::MessageKind::Warning);
      EXPECT_EQ(m.text, warning);
    }
    EXPECT_EQ(Content(kProfiles), before) << name;
  }
  // Blanks and other marks are fine, and line breaks around a name are trimmed away.
  Add("Car, 2 (slow) & |fast|\n");
  EXPECT_EQ(program.CommonLib().ReadIniSections(kProfiles),
            (std::vector<std::string>{"Good", "Car, 2 (slow) & |fast|"}));
}
