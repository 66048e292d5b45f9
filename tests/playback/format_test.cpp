// Whole seconds and their "nn:ss" text: the rounding and the hour wrap are
// where a display goes wrong, including past the 16-bit range.
#include <gtest/gtest.h>

#include <cmath>

#include "playback/Playback.h"

namespace lentaro::playback {
namespace {

TEST(FormatMinSec, ShowsMinutesWithinTheHourAndTwoDigitSeconds) {
  EXPECT_EQ(FormatMinSec(0), "00:00");
  EXPECT_EQ(FormatMinSec(9), "00:09");
  EXPECT_EQ(FormatMinSec(75), "01:15");
  EXPECT_EQ(FormatMinSec(180), "03:00");
  EXPECT_EQ(FormatMinSec(3599), "59:59");
  EXPECT_EQ(FormatMinSec(3600), "00:00");
  EXPECT_EQ(FormatMinSec(3725), "02:05");
  // Past 32767 seconds the text still follows the hour.
  EXPECT_EQ(FormatMinSec(32768), "06:08");
  EXPECT_EQ(FormatMinSec(33525), "18:45");
  EXPECT_EQ(FormatMinSec(-5), "00:00");
}

TEST(WholeSeconds, RoundsHalfToEvenAndRefusesNonsense) {
  EXPECT_EQ(WholeSeconds(0.5), 0);
  EXPECT_EQ(WholeSeconds(1.5), 2);
  EXPECT_EQ(WholeSeconds(2.5), 2);
  EXPECT_EQ(WholeSeconds(74.6), 75);
  EXPECT_EQ(WholeSeconds(75.49), 75);
  EXPECT_EQ(WholeSeconds(32767.5), 32768);  // no 16-bit overflow
  EXPECT_EQ(WholeSeconds(40000.5), 40000);
  EXPECT_EQ(WholeSeconds(-1.0), 0);
  EXPECT_EQ(WholeSeconds(std::nan("")), 0);
  EXPECT_GT(WholeSeconds(1e300), 0);
}

}  // namespace
}  // namespace lentaro::playback
