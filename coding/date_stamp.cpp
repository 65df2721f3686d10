// Date-time stamps: true dates, the two stamp forms, printable dates and
// times, hour arithmetic and the 14-word date-time group.
#include "coding/date_stamp.h"

#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "zep/coding.h"

namespace zep::coding {

namespace {

constexpr int64_t kJdn1900 = 2415021;
constexpr int64_t kJdn1980 = 2444240;
constexpr int64_t kPerDay = 17280;
constexpr int64_t kPerHour = 720;

bool fits_int32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// True date of a calendar date and time; no range checks but 64-bit.
int64_t true_date_of(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minutes,
                     int64_t seconds) {
  return (julian_day(year, month, day) - kJdn1980) * kPerDay + hour * kPerHour +
         (minutes * 60 + seconds) / 5;
}

// New-form stamp of a true date T >= 0, when it fits 32 bits.
bool new_form_stamp(int64_t t, int *stamp) {
  if (t < 0) return false;
  const int64_t s = kNewFormBase + 10 * (t / 8) + t % 8;
  if (!fits_int32(s)) return false;
  *stamp = static_cast<int>(s);
  return true;
}

std::string with_int(const char *text, long long value) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s%12lld", text, value);
  return buf;
}

void set_message(std::string *message, const std::string &text) {
  if (message != nullptr) *message = text;
}

// Nearest integer of x (halves away from zero) when |x| stays well inside
// the 64-bit range; false for huge or non-finite values.
bool nearest(double x, int64_t *out) {
  if (!(std::fabs(x) < 4.0e18)) return false;
  *out = static_cast<int64_t>(std::llround(x));
  return true;
}

}  // namespace

int64_t julian_day(int64_t year, int64_t month, int64_t day) {
  const int64_t a = (month - 14) / 12;
  return day - 32075 + 1461 * (year + 4800 + a) / 4 + 367 * (month - 2 - 12 * a) / 12 -
         3 * ((year + 4900 + a) / 100) / 4;
}

void calendar_date(int64_t jdn, int64_t *year, int64_t *month, int64_t *day) {
  int64_t l = jdn + 68569;
  const int64_t n = 4 * l / 146097;
  l = l - (146097 * n + 3) / 4;
  const int64_t i = 4000 * (l + 1) / 1461001;
  l = l - 1461 * i / 4 + 31;
  const int64_t j = 80 * l / 2447;
  *day = l - 2447 * j / 80;
  l = j / 11;
  *month = j + 2 - 12 * l;
  *year = 100 * (n - 49) + i + l;
}

bool valid_true_date(int64_t t) {
  if (t >= 0) return t <= INT32_MAX;
  return t >= kTrueDate1900 && (t - kTrueDate1900) % kPerHour == 0;
}

int64_t round_to_hour(int64_t t) {
  const int64_t half = t >= 0 ? 360 : -360;
  return ((t + half) / kPerHour) * kPerHour;
}

bool stamp_to_true_date(int stamp, int *t, int *run) {
  int64_t value;
  int r = 0;
  if (stamp < kNewFormBase) {
    r = stamp % 10;
    const int hour = (stamp / 10) % 100;
    const int year = 1900 + (stamp / 1000) % 100;
    const int day = (stamp / 100000) % 100;
    const int month = (stamp / 10000000) % 100;
    value = true_date_of(year, month, day, hour, 0, 0);
  } else {
    const int64_t s = static_cast<int64_t>(stamp) - kNewFormBase;
    value = s % 10 + 8 * (s / 10);
  }
  if (!valid_true_date(value)) return false;
  *t = static_cast<int>(value);
  *run = r;
  return true;
}

bool true_date_to_stamp(int64_t t, int run, int *stamp) {
  if (run > 9 || !valid_true_date(t)) return false;
  if (t < kTrueDate2000 && t % kPerHour == 0) {
    const int64_t u = t - kTrueDate1900;
    int64_t year, month, day;
    calendar_date(u / kPerDay + kJdn1900, &year, &month, &day);
    const int64_t hour = (u % kPerDay) / kPerHour;
    const int64_t s = month * 10000000 + day * 100000 + (year - 1900) * 1000 + hour * 10 + run;
    if (!fits_int32(s)) return false;
    *stamp = static_cast<int>(s);
    return true;
  }
  return new_form_stamp(t, stamp);
}

namespace {

struct Printable {
  int year, month, day, hour, minutes, seconds;
};

bool split_printable(int date, int time, Printable *p) {
  p->year = (date / 10000) % 10000;
  p->month = (date / 100) % 100;
  p->day = date % 100;
  p->hour = (time / 1000000) % 100;
  p->minutes = (time / 10000) % 100;
  p->seconds = (time / 100) % 100;
  return p->year >= 1900 && p->month >= 1 && p->month <= 12 && p->day >= 1 && p->day <= 31 &&
         p->hour >= 0 && p->hour <= 23;
}

}  // namespace

bool printable_to_true_date(int date, int time, int *t) {
  Printable p;
  if (!split_printable(date, time, &p)) return false;
  const int64_t value = true_date_of(p.year, p.month, p.day, p.hour, p.minutes, p.seconds);
  if (!fits_int32(value)) return false;
  *t = static_cast<int>(value);
  return true;
}

bool true_date_to_printable(int64_t t, int *date, int *time) {
  if (!valid_true_date(t)) return false;
  const int64_t u = t - kTrueDate1900;
  int64_t year, month, day;
  calendar_date(u / kPerDay + kJdn1900, &year, &month, &day);
  const int64_t r = u % kPerDay;
  const int64_t hour = r / kPerHour;
  const int64_t s = (r - kPerHour * hour) * 5;
  *date = static_cast<int>(year * 10000 + month * 100 + day);
  *time = static_cast<int>(hour * 1000000 + (s / 60) * 10000 + (s % 60) * 100);
  return true;
}

bool printable_to_stamp(int date, int time, int *stamp) {
  Printable p;
  int t = 0;
  if (!split_printable(date, time, &p) || !printable_to_true_date(date, time, &t)) return false;
  if (p.year < 2000 && p.minutes == 0 && p.seconds == 0) return true_date_to_stamp(t, 0, stamp);
  return new_form_stamp(t, stamp);
}

bool stamp_to_printable(int stamp, int *date, int *time) {
  int64_t year, month, day, hour, d, tm;
  if (stamp < kNewFormBase) {
    hour = (stamp / 10) % 100;
    year = 1900 + (stamp / 1000) % 100;
    day = (stamp / 100000) % 100;
    month = (stamp / 10000000) % 100;
    d = year * 10000 + month * 100 + day;
    tm = hour * 1000000;
  } else {
    int t = 0, run = 0, pd = 0, pt = 0;
    if (!stamp_to_true_date(stamp, &t, &run) || !true_date_to_printable(t, &pd, &pt)) return false;
    d = pd;
    tm = pt;
    year = d / 10000;
    month = (d / 100) % 100;
    day = d % 100;
    hour = tm / 1000000;
  }
  if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23)
    return false;
  *date = static_cast<int>(d);
  *time = static_cast<int>(tm);
  return true;
}

bool add_hours(int stamp, double hours, bool whole_hours, int *result, std::string *message) {
  *result = kMarkerStamp;
  int t = 0, run = 0;
  if (!stamp_to_true_date(stamp, &t, &run)) {
    set_message(message, with_int(" label 1,idate2:", stamp));
    return false;
  }
  int64_t sum = 0;
  int64_t step = 0;
  bool in_range;
  if (whole_hours || t < 0) {
    in_range = nearest(hours, &step) && std::llabs(step) < (INT64_C(1) << 40);
    sum = round_to_hour(t) + step * kPerHour;
  } else {
    in_range = nearest(hours * 720.0, &step) && std::llabs(step) < (INT64_C(1) << 50);
    sum = t + step;
  }
  if (!in_range) {
    char buf[96];
    std::snprintf(buf, sizeof buf, " after if adding,if rounding%12.0f", hours * 720.0);
    set_message(message, buf);
    return false;
  }
  int out = 0;
  if (!true_date_to_stamp(sum, run, &out)) {
    set_message(message, with_int(" after if adding,if rounding", sum));
    return false;
  }
  *result = out;
  return true;
}

bool stamp_difference(int stamp1, int stamp2, bool whole_hours, double *hours,
                      std::string *message) {
  *hours = kMarkerHours;
  int t1 = 0, t2 = 0, run = 0;
  if (!stamp_to_true_date(stamp1, &t1, &run)) {
    set_message(message, " label 3");
    return false;
  }
  if (!stamp_to_true_date(stamp2, &t2, &run)) {
    set_message(message, with_int(" label 1,idate2:", stamp2));
    return false;
  }
  if (!whole_hours) {
    *hours = static_cast<double>(static_cast<int64_t>(t1) - t2) * (1.0 / 720.0);
  } else {
    const int64_t diff = round_to_hour(t1) - round_to_hour(t2);
    const float product = static_cast<float>(diff) * (1.0f / 720.0f);
    *hours = static_cast<double>(std::llround(product));
  }
  return true;
}

void fill_group(int group[14]) {
  int date = 0, time = 0;
  if (!stamp_to_printable(group[13], &date, &time)) {
    date = 19101010;
    time = 10000000;
  }
  const int year = date / 10000, month = (date / 100) % 100, day = date % 100;
  const int hour = time / 1000000, minutes = (time / 10000) % 100;
  const int seconds = (time / 100) % 100, hundredths = time % 100;
  group[1] = month;
  group[2] = day;
  group[3] = year;
  group[4] = hour;
  group[5] = minutes * 6000 + seconds * 100 + hundredths;
  const int64_t jdn = julian_day(year, month, day);
  const int weekday = static_cast<int>((jdn + 1) % 7);
  group[0] = weekday + 1;
  static const char *const day_names[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
  static const char *const month_names[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  char text[64];
  std::snprintf(text, sizeof text, " %s %s %02d %04d %02dZ%02d:%02d.%02d", day_names[weekday],
                month_names[(month - 1) % 12], day, year, hour, minutes, seconds, hundredths);
  char field[28];
  std::memset(field, ' ', sizeof field);
  std::memcpy(field, text, std::min<size_t>(std::strlen(text), sizeof field));
  std::memcpy(&group[6], field, sizeof field);
}

int group_stamp(int group[14]) {
  int64_t year = group[3];
  if (year >= 0 && year <= 99) year += 1900;
  const int64_t date = year * 10000 + static_cast<int64_t>(group[1]) * 100 + group[2];
  const int64_t time = static_cast<int64_t>(group[4]) * 1000000 +
                       static_cast<int64_t>(group[5] / 6000) * 10000 +
                       static_cast<int64_t>((group[5] / 100) % 60) * 100;
  int stamp = kMarkerStamp;
  if (!fits_int32(date) || !fits_int32(time) ||
      !printable_to_stamp(static_cast<int>(date), static_cast<int>(time), &stamp))
    stamp = kMarkerStamp;
  group[13] = stamp;
  return stamp;
}

}  // namespace zep::coding

namespace zep::coding {
namespace {

void print_line(const std::string &line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace
}  // namespace zep::coding

using namespace zep::coding;

extern "C" int newdate_(int *dat1, int *dat2, int *dat3, int *mode) {
  bool ok = false;
  switch (*mode) {
    case 1: ok = zep::coding::stamp_to_true_date(*dat2, dat1, dat3); break;
    case -1: ok = zep::coding::true_date_to_stamp(*dat1, *dat3, dat2); break;
    case 2: ok = zep::coding::printable_to_true_date(*dat2, *dat3, dat1); break;
    case -2: ok = zep::coding::true_date_to_printable(*dat1, dat2, dat3); break;
    case 3: ok = zep::coding::printable_to_stamp(*dat2, *dat3, dat1); break;
    case -3:
      *dat2 = 0;
      *dat3 = 0;
      ok = zep::coding::stamp_to_printable(*dat1, dat2, dat3);
      break;
    case 4:
      *dat1 = zep::coding::group_stamp(dat2);
      ok = true;
      break;
    case -4:
      dat2[13] = *dat1;
      zep::coding::fill_group(dat2);
      ok = true;
      break;
    default: ok = false; break;
  }
  return ok ? 0 : 1;
}

extern "C" void incdatr_(int *result, int *stamp, double *hours) {
  std::string message;
  if (!zep::coding::add_hours(*stamp, *hours, false, result, &message)) print_line(message);
}

extern "C" void incdati_(int *result, int *stamp, double *hours) {
  std::string message;
  if (!zep::coding::add_hours(*stamp, *hours, true, result, &message)) print_line(message);
}

extern "C" void difdatr_(int *stamp1, int *stamp2, double *hours) {
  std::string message;
  if (!zep::coding::stamp_difference(*stamp1, *stamp2, false, hours, &message)) print_line(message);
}

extern "C" void difdati_(int *stamp1, int *stamp2, double *hours) {
  std::string message;
  if (!zep::coding::stamp_difference(*stamp1, *stamp2, true, hours, &message)) print_line(message);
}

extern "C" int idatmg2_(int *group) { return zep::coding::group_stamp(group); }

extern "C" void datmgp2_(int *group) { zep::coding::fill_group(group); }

extern "C" void datec_(int *jdn, int *year, int *month, int *day) {
  int64_t y, m, d;
  zep::coding::calendar_date(*jdn, &y, &m, &d);
  *year = static_cast<int>(y);
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}
