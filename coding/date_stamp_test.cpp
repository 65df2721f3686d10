#include "coding/date_stamp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "zep/coding.h"

namespace zep::coding {
namespace {

int nd(int *a, int *b, int *c, int mode) { return newdate_(a, b, c, &mode); }

TEST(DateStampTest, JulianDaysAndCalendar) {
  EXPECT_EQ(julian_day(1900, 1, 1), 2415021);
  EXPECT_EQ(julian_day(1980, 1, 1), 2444240);
  int jdn = 2444240, y, m, d;
  datec_(&jdn, &y, &m, &d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 19800101);
  for (int j = 2415021; j < 2415021 + 60000; j += 17) {
    int64_t yy, mm, dd;
    calendar_date(j, &yy, &mm, &dd);
    ASSERT_EQ(julian_day(yy, mm, dd), j);
  }
}

TEST(DateStampTest, WorkedStamps) {
  int t = -1, stamp = 123200000, run = -1;
  EXPECT_EQ(nd(&t, &stamp, &run, 1), 0);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(run, 0);
  stamp = 123200007;
  int date = 0, time = 0;
  EXPECT_EQ(nd(&stamp, &date, &time, -3), 0);
  EXPECT_EQ(date, 19800101);
  EXPECT_EQ(time, 3500);

  date = 20041125;
  time = 20300000;
  EXPECT_EQ(nd(&t, &date, &time, 2), 0);
  EXPECT_EQ(t, 157176360);
  EXPECT_EQ(nd(&stamp, &date, &time, 3), 0);
  EXPECT_EQ(stamp, 319670450);

  date = 19950615;
  time = 12000000;
  EXPECT_EQ(nd(&stamp, &date, &time, 3), 0);
  EXPECT_EQ(stamp, 61595120);
  time = 12300000;
  EXPECT_EQ(nd(&stamp, &date, &time, 3), 0);
  EXPECT_GE(stamp, kNewFormBase);
  int back_date = 0, back_time = 0;
  EXPECT_EQ(nd(&stamp, &back_date, &back_time, -3), 0);
  EXPECT_EQ(back_date, 19950615);
  EXPECT_EQ(back_time, 12300000);

  date = 20000101;
  time = 0;
  EXPECT_EQ(nd(&t, &date, &time, 2), 0);
  EXPECT_EQ(t, 126230400);
  EXPECT_EQ(nd(&stamp, &date, &time, 3), 0);
  EXPECT_EQ(stamp, kNewFormBase + 10 * (126230400 / 8));

  date = 20040231;
  time = 0;
  EXPECT_EQ(nd(&t, &date, &time, 2), 0);
  int d2 = 0, t2 = 0;
  EXPECT_EQ(nd(&t, &d2, &t2, -2), 0);
  EXPECT_EQ(d2, 20040302);
}

TEST(DateStampTest, RunsAndOldFormLimits) {
  // True date to stamp keeps the run in the old form only.
  int t = 0, stamp = 0, run = 7;
  EXPECT_EQ(nd(&t, &stamp, &run, -1), 0);
  EXPECT_EQ(stamp, 10180007);
  run = 10;
  EXPECT_EQ(nd(&t, &stamp, &run, -1), 1);
  // Before 1980 only whole hours are valid true dates.
  t = -720;
  run = 0;
  EXPECT_EQ(nd(&t, &stamp, &run, -1), 0);
  EXPECT_EQ(stamp, 123179230);  // 1979-12-31 23:00
  t = -721;
  EXPECT_EQ(nd(&t, &stamp, &run, -1), 1);
  t = static_cast<int>(kTrueDate1900) - 720;
  EXPECT_EQ(nd(&t, &stamp, &run, -1), 1);
  int d = 0, tm = 0;
  EXPECT_EQ(nd(&t, &d, &tm, -2), 1);
  // True dates too late for a 32-bit stamp are refused, not wrapped.
  t = 2100000000;
  EXPECT_EQ(nd(&t, &stamp, &run, -1), 1);
  int date = 99991231, time = 0;
  EXPECT_EQ(nd(&t, &date, &time, 2), 1);
  // Mode 2 range checks.
  for (int bad : {18991231, 20041301, 20040100, 20040132}) {
    date = bad;
    time = 0;
    EXPECT_EQ(nd(&t, &date, &time, 2), 1) << bad;
  }
  date = 20040101;
  time = 24000000;
  EXPECT_EQ(nd(&t, &date, &time, 2), 1);
  int zero = 0;
  EXPECT_EQ(nd(&t, &date, &time, 0), 1);
  EXPECT_EQ(nd(&t, &date, &time, 5), 1);
  EXPECT_EQ(nd(&t, &date, &time, -5), 1);
  (void)zero;
}

TEST(DateStampTest, PrintableOfStampsAndMarkers) {
  int stamp = 0, date = 5, time = 5;
  EXPECT_EQ(nd(&stamp, &date, &time, -3), 1);
  EXPECT_EQ(date, 0);
  EXPECT_EQ(time, 0);
  stamp = kMarkerStamp;
  EXPECT_EQ(nd(&stamp, &date, &time, -3), 0);
  EXPECT_EQ(date, 19101010);
  EXPECT_EQ(time, 10000000);
  stamp = 23081060;  // 1981-02-30, taken from the digits as they stand
  EXPECT_EQ(nd(&stamp, &date, &time, -3), 0);
  EXPECT_EQ(date, 19810230);
  stamp = 99999999;
  EXPECT_EQ(nd(&stamp, &date, &time, -3), 1);
}

TEST(DateStampTest, AddHours) {
  int result = 0, stamp = 61595123;
  double hours = 0.0;
  incdatr_(&result, &stamp, &hours);
  EXPECT_EQ(result, 61595123);  // the run is kept
  hours = 6.0;
  incdatr_(&result, &stamp, &hours);
  EXPECT_EQ(result, 61595183);
  stamp = 319670450;
  hours = 0.5;
  incdatr_(&result, &stamp, &hours);
  int date = 0, time = 0;
  nd(&result, &date, &time, -3);
  EXPECT_EQ(date, 20041125);
  EXPECT_EQ(time, 21000000);
  hours = 0.4;
  incdati_(&result, &stamp, &hours);  // 20:30 rounds to 21:00, then 0 hours
  nd(&result, &date, &time, -3);
  EXPECT_EQ(date, 20041125);
  EXPECT_EQ(time, 21000000);
  hours = -25.0;
  incdati_(&result, &stamp, &hours);
  nd(&result, &date, &time, -3);
  EXPECT_EQ(date, 20041124);
  EXPECT_EQ(time, 20000000);
  // A stamp before 1980 is rounded to the hour and moves by whole hours.
  stamp = 61572060;
  hours = 0.25;
  incdatr_(&result, &stamp, &hours);
  EXPECT_EQ(result, 61572060);

  testing::internal::CaptureStdout();
  stamp = 0;
  hours = 1.0;
  incdatr_(&result, &stamp, &hours);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " label 1,idate2:           0\n");
  EXPECT_EQ(result, kMarkerStamp);
}

TEST(DateStampTest, SumsOutsideTheStampRangeGiveTheMarker) {
  int result = 0, stamp = 319670450;
  for (double hours : {1e12, -1e12, 1e300, -1e300, 3.0e6, -3.0e6}) {
    std::string message;
    EXPECT_FALSE(add_hours(stamp, hours, false, &result, &message)) << hours;
    EXPECT_EQ(result, kMarkerStamp);
    EXPECT_EQ(message.rfind(" after if adding,if rounding", 0), 0u) << message;
    EXPECT_FALSE(add_hours(stamp, hours, true, &result, &message)) << hours;
    EXPECT_EQ(result, kMarkerStamp);
  }
  // deet x npas of a damaged file: far beyond 32 bits once multiplied.
  const double hours = 2147483647.0 * 2147483647.0 / 3600.0;
  testing::internal::CaptureStdout();
  int r = 0;
  double h = hours;
  incdatr_(&r, &stamp, &h);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(r, kMarkerStamp);
  EXPECT_EQ(out.rfind(" after if adding,if rounding", 0), 0u);
  // The largest representable sum still works.
  EXPECT_TRUE(add_hours(stamp, 100000.0, false, &result, nullptr));
}

TEST(DateStampTest, Differences) {
  int s1 = 0, s2 = 0;
  int date = 20041125, time = 18000000;
  nd(&s1, &date, &time, 3);
  time = 12000000;
  nd(&s2, &date, &time, 3);
  double hours = 0;
  difdatr_(&s1, &s2, &hours);
  EXPECT_EQ(hours, 6.0);
  time = 17400000;
  nd(&s1, &date, &time, 3);
  difdatr_(&s1, &s2, &hours);
  EXPECT_NEAR(hours, 5.0 + 40.0 / 60.0, 1e-12);
  difdati_(&s1, &s2, &hours);
  EXPECT_EQ(hours, 6.0);
  difdati_(&s2, &s1, &hours);
  EXPECT_EQ(hours, -6.0);

  int bad = 0;
  testing::internal::CaptureStdout();
  difdatr_(&bad, &s2, &hours);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " label 3\n");
  EXPECT_EQ(hours, kMarkerHours);
  testing::internal::CaptureStdout();
  difdati_(&s1, &bad, &hours);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " label 1,idate2:           0\n");
  EXPECT_EQ(hours, kMarkerHours);
}

TEST(DateStampTest, DateTimeGroup) {
  int group[14] = {0};
  group[1] = 11;
  group[2] = 25;
  group[3] = 2004;
  group[4] = 20;
  group[5] = 30 * 6000 + 15 * 100;
  EXPECT_EQ(idatmg2_(group), group[13]);
  int date = 0, time = 0;
  nd(&group[13], &date, &time, -3);
  EXPECT_EQ(date, 20041125);
  EXPECT_EQ(time, 20301500);

  int filled[14] = {0};
  filled[13] = group[13];
  datmgp2_(filled);
  EXPECT_EQ(filled[0], 5);  // Thursday
  EXPECT_EQ(filled[1], 11);
  EXPECT_EQ(filled[2], 25);
  EXPECT_EQ(filled[3], 2004);
  EXPECT_EQ(filled[4], 20);
  EXPECT_EQ(filled[5], 30 * 6000 + 1500);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(&filled[6]), 28),
            " THU NOV 25 2004 20Z30:15.00");

  // Two-digit years are of the 1900s; an impossible group gives the marker.
  int old[14] = {0, 6, 15, 95, 12, 0};
  EXPECT_EQ(idatmg2_(old), 61595120);
  int bad[14] = {0, 13, 1, 2004, 0, 0};
  EXPECT_EQ(idatmg2_(bad), kMarkerStamp);
  EXPECT_EQ(bad[13], kMarkerStamp);
  int huge[14] = {0, 1, 1, 2000000000, 0, 0};
  EXPECT_EQ(idatmg2_(huge), kMarkerStamp);

  int unreadable[14] = {0};
  datmgp2_(unreadable);
  EXPECT_EQ(unreadable[3], 1910);
  EXPECT_EQ(unreadable[4], 10);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(&unreadable[6]), 28),
            " MON OCT 10 1910 10Z00:00.00");

  int via[14] = {0};
  int stamp = 61595120, dummy = 0;
  EXPECT_EQ(nd(&stamp, via, &dummy, -4), 0);
  EXPECT_EQ(via[13], 61595120);
  EXPECT_EQ(via[0], 5);  // 1995-06-15 was a Thursday
  int back = 0;
  EXPECT_EQ(nd(&back, via, &dummy, 4), 0);
  EXPECT_EQ(back, 61595120);
}

}  // namespace
}  // namespace zep::coding
