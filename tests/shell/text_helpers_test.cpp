#include <gtest/gtest.h>

#include "platform/errors.h"
#include "test_program.h"

using Parts = std::vector<std::string>;

TEST(SplitText, KeepsEmptyInnerPartsAndDropsOneTrailingSeparator) {
  EXPECT_EQ(TCommonLib::SplitText("1|0|0|2|0|0", '|').size(), 6u);
  EXPECT_EQ(TCommonLib::SplitText("a||b", '|'), (Parts{"a", "", "b"}));
  EXPECT_EQ(TCommonLib::SplitText("|a", '|'), (Parts{"", "a"}));
  EXPECT_EQ(TCommonLib::SplitText("a|", '|'), (Parts{"a"}));
  EXPECT_EQ(TCommonLib::SplitText("a||", '|'), (Parts{"a", ""}));
  EXPECT_EQ(TCommonLib::SplitText("00:01:30", ':'), (Parts{"00", "01", "30"}));
  EXPECT_TRUE(TCommonLib::SplitText("", ':').empty());
}

TEST(ParseLenientNumber, KeepsDigitsAndTheFirstPointAndSigns) {
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber(" 12.5kB"), 12.5);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("-3"), -3);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("5-"), 5);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("1-2"), 12);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("1.2.3"), 1.23);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("abc"), 0);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("-"), 0);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber(""), 0);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("7"), 7);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("30.52 bitrate"), 30.52);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("+-5"), 5);
}

TEST(ParseLenientNumber, KeptTextThatIsNoNumberFailsWithAConversionError) {
  for (const char* bad : {".", "x.y", "-.", "+."}) {
    try {
      TCommonLib::ParseLenientNumber(bad);
      FAIL() << bad;
    } catch (const ConversionError& e) {
      EXPECT_NE(std::string(e.what()).find("is not a valid floating point value"), std::string::npos);
    }
  }
}

TEST(FormatFileSize, TruncatesToTwoDecimalsInTheLargestFittingUnit) {
  EXPECT_EQ(TCommonLib::FormatFileSize(0), "0 B");
  EXPECT_EQ(TCommonLib::FormatFileSize(-5), "0 B");
  EXPECT_EQ(TCommonLib::FormatFileSize(1023), "1023 B");
  EXPECT_EQ(TCommonLib::FormatFileSize(1024), "1 KB");
  EXPECT_EQ(TCommonLib::FormatFileSize(1536), "1.5 KB");
  EXPECT_EQ(TCommonLib::FormatFileSize(1048575), "1023.99 KB");
  EXPECT_EQ(TCommonLib::FormatFileSize(5000000), "4.76 MB");
  EXPECT_EQ(TCommonLib::FormatFileSize(1073741823), "1023.99 MB");
  EXPECT_EQ(TCommonLib::FormatFileSize(1073741824), "1 GB");
  EXPECT_EQ(TCommonLib::FormatFileSize(5LL * 1099511627776LL), "5120 GB");
}

TEST(FormatSeconds, HoursMinutesSecondsWithHoursUnbounded) {
  EXPECT_EQ(TCommonLib::FormatSeconds(0), "00:00:00");
  EXPECT_EQ(TCommonLib::FormatSeconds(59), "00:00:59");
  EXPECT_EQ(TCommonLib::FormatSeconds(60), "00:01:00");
  EXPECT_EQ(TCommonLib::FormatSeconds(3599), "00:59:59");
  EXPECT_EQ(TCommonLib::FormatSeconds(3600), "01:00:00");
  EXPECT_EQ(TCommonLib::FormatSeconds(90061), "25:01:01");
  EXPECT_EQ(TCommonLib::FormatSeconds(360000), "100:00:00");
  EXPECT_EQ(TCommonLib::FormatSeconds(-1), "00:00:00");
  EXPECT_EQ(TCommonLib::PadNumber(2, 7000, 1000), "07");
  EXPECT_EQ(TCommonLib::PadNumber(2, 123000, 1000), "123");
}

TEST(ShowMessageBox, KnownKindsShowABoxWithTheApplicationTitle) {
  testing_support::TestProgram tp;
  EXPECT_TRUE(tp->CommonLib().ShowMessageBox("The path is invalid.", 1));
  EXPECT_FALSE(tp->CommonLib().ShowMessageBox("never shown", 4));
  EXPECT_FALSE(tp->CommonLib().ShowMessageBox("never shown", -1));
  ASSERT_EQ(tp.dialogs.messages.size(), 1u);
  EXPECT_EQ(tp.dialogs.messages[0].kind, ui::MessageKind::Warning);
  EXPECT_EQ(tp.dialogs.messages[0].caption, "Video To Plim Converter");
  EXPECT_EQ(tp.dialogs.messages[0].text, "The path is invalid.");
}
