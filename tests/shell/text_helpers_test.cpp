#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <locale>

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

namespace {

// Switches the C library's number format to German (decimal comma) for the
// scope: generated into a folder of our own when the system has no such locale,
// else a comma numpunct for the C++ side at least.
class GermanNumbers {
 public:
  GermanNumbers() : saved_(std::setlocale(LC_NUMERIC, nullptr)), saved_cpp_(std::locale()) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
      if (std::setlocale(LC_NUMERIC, name)) {
        Done();
        return;
      }
    const std::string folder = dir_.path() + "locales";
    const std::string command = "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(("mkdir -p '" + folder + "' && " + command).c_str()) == 0) {
      ::setenv("LOCPATH", folder.c_str(), 1);
      if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        Done();
        return;
      }
    }
    struct Comma : std::numpunct<char> {
      char do_decimal_point() const override { return ','; }
    };
    std::locale::global(std::locale(std::locale(), new Comma));
  }
  ~GermanNumbers() {
    std::setlocale(LC_NUMERIC, saved_.c_str());
    std::locale::global(saved_cpp_);
    ::unsetenv("LOCPATH");
  }
  bool c_library_switched() const { return c_switched_; }

 private:
  void Done() { c_switched_ = std::localeconv()->decimal_point[0] == ','; }
  testing_support::TempDir dir_;
  std::string saved_;
  std::locale saved_cpp_;
  bool c_switched_ = false;
};

}  // namespace

TEST(ParseLenientNumber, ReadsThePointWhateverTheUsersLocale) {
  GermanNumbers german;
  if (!german.c_library_switched()) std::cerr << "no German locale: checked under a comma numpunct only\n";
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("12.5"), 12.5);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber(" 12.5kB"), 12.5);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("-0.25"), -0.25);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("1.2.3"), 1.23);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("+.5"), 0.5);
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("30.45"), 30.45);
  // A comma is no decimal point here, whatever the locale says.
  EXPECT_DOUBLE_EQ(TCommonLib::ParseLenientNumber("12,5"), 125);
  EXPECT_THROW(TCommonLib::ParseLenientNumber("-."), ConversionError);
}

// The readers every layer shares: one table each, so a cell, a setting and an
// encoder argument can never be read by different rules again.
TEST(TextReaders, WholeNumbersTimesAndRangesFollowOneTable) {
  struct Whole {
    const char* text;
    bool ok;
    int64_t value;
  };
  for (const Whole& c :
       {Whole{"42", true, 42}, Whole{" -7 ", true, -7}, Whole{"+3", true, 3}, Whole{"", false, 0}, Whole{"-", false, 0},
        Whole{"1.5", false, 0}, Whole{"12a", false, 0}, Whole{"99999999999999999999", false, 0}}) {
    int64_t value = 0;
    EXPECT_EQ(text::ParseWholeNumber(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  struct Time {
    const char* text;
    bool ok;
    int64_t seconds;
  };
  for (const Time& c :
       {Time{"00:00:02", true, 2}, Time{"01:30:00", true, 5400}, Time{"100:00:01", true, 360001},
        Time{"1:30", false, 0}, Time{"00:90:00", false, 0}, Time{"00:00:60", false, 0}, Time{"0:00:01", false, 0},
        Time{"00:0a:01", false, 0}, Time{" 00:00:01", false, 0}, Time{"00:00:01:00", false, 0}}) {
    int64_t seconds = -1;
    EXPECT_EQ(text::ParseTimeText(c.text, seconds), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(seconds, c.seconds) << c.text;
    }
  }
  int64_t length = 0;
  EXPECT_TRUE(text::RangeSeconds("00:00:10", "00:01:00", length));
  EXPECT_EQ(length, 50);
  EXPECT_TRUE(text::RangeSeconds("00:01:00", "00:00:10", length));
  EXPECT_EQ(length, -50) << "an end before the start is passed on";
  EXPECT_FALSE(text::RangeSeconds("00:00:10", "1:30", length));
  EXPECT_EQ(text::TrimBlanks("\t a b \r\n"), "a b");
  EXPECT_EQ(text::TrimBlanks(" \t"), "");
}
