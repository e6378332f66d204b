#include "detection/datetemplate.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const DateFields kMarch4th{2011, 3, 4, 21, 5, 3};

TEST(DateTemplate, FillsEveryTokenWithLeadingZeros) {
    EXPECT_EQ(formatDateTemplate("%dd.%mm.%yyyy %hh:%ii:%ss", kMarch4th), "04.03.2011 21:05:03");
    EXPECT_EQ(formatDateTemplate("%yyyy%mm%dd%hh%ii%ss", kMarch4th), "20110304210503");
    EXPECT_EQ(formatDateTemplate("%hh:%ii", {2005, 12, 31, 0, 0, 59}), "00:00");
    EXPECT_EQ(formatDateTemplate("%yy", {2005, 1, 1, 0, 0, 0}), "05");
}

TEST(DateTemplate, MatchesTokensInAnyCaseAndTheLongYearFirst) {
    EXPECT_EQ(formatDateTemplate("%YYYY-%Mm-%dD %HH%iI%Ss", kMarch4th), "2011-03-04 210503");
    EXPECT_EQ(formatDateTemplate("%yyyyy", kMarch4th), "2011y");
    EXPECT_EQ(formatDateTemplate("%yyy", kMarch4th), "11y");
}

TEST(DateTemplate, CopiesEverythingElseUnchanged) {
    EXPECT_EQ(formatDateTemplate("100% %x %h %%hh%", kMarch4th), "100% %x %h %21%");
    EXPECT_EQ(formatDateTemplate("", kMarch4th), "");
    EXPECT_EQ(formatDateTemplate("Video_Sentello_.avi", kMarch4th), "Video_Sentello_.avi");
    const std::string longText(10000, 'x');
    EXPECT_EQ(formatDateTemplate(longText + "%ss", kMarch4th), longText + "03");
}

TEST(DateTemplate, LocalFieldsAreTheWallClock) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    // 2011-03-04 20:15:03 UTC is 21:15:03 in Berlin; 2011-07-01 12:00:00 UTC is 14:00 (summer).
    EXPECT_EQ(formatDateTemplate("%dd.%mm.%yyyy %hh:%ii:%ss", localDateFields(1299269703)),
              "04.03.2011 21:15:03");
    EXPECT_EQ(formatDateTemplate("%hh:%ii", localDateFields(1309521600)), "14:00");
}

}  // namespace
