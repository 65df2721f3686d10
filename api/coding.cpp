// Coding helpers of the safe API: date-time stamps and seconds since 1970,
// and the grid parameters of a grid's descriptors.
#include <cstdint>
#include <mutex>

#include "api/internal.h"
#include "coding/date_stamp.h"
#include "coding/grid_descriptor.h"

namespace zep::api {
namespace {

int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int64_t *y, int64_t *m, int64_t *d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp + (mp < 10 ? 3 : -9);
  *y = yoe + era * 400 + (*m <= 2);
}

bool is_day(int64_t y, int64_t m, int64_t d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= (m == 2 && leap ? 29 : kDays[m - 1]);
}

}  // namespace
}  // namespace zep::api

namespace zep::api {

int64_t unix_seconds(int date, int time) {
  const int64_t days = days_from_civil(date / 10000, (date / 100) % 100, date % 100);
  return days * 86400 + (time / 1000000) * 3600 + ((time / 10000) % 100) * 60 + (time / 100) % 100;
}

}  // namespace zep::api

using namespace zep::api;

extern "C" {

int zep_stamp_to_unix(int stamp, int64_t *seconds) {
  if (seconds == nullptr) return ZEP_EINVAL;
  std::lock_guard<std::recursive_mutex> hold(zep::api::library_lock());
  int date = 0, time = 0;
  if (!zep::coding::stamp_to_printable(stamp, &date, &time)) return ZEP_EINVAL;
  *seconds = zep::api::unix_seconds(date, time);
  return 0;
}

int zep_stamp_from_unix(int64_t seconds, int *stamp) {
  if (stamp == nullptr) return ZEP_EINVAL;
  // Stamps reach from 1900 to the 23rd century at most.
  if (seconds < -int64_t{3} * 1000 * 1000 * 1000 || seconds > int64_t{8} * 1000 * 1000 * 1000)
    return ZEP_EINVAL;
  std::lock_guard<std::recursive_mutex> hold(zep::api::library_lock());
  const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  const int64_t rest = seconds - days * 86400;
  int64_t y, m, d;
  civil_from_days(days, &y, &m, &d);
  const int date = static_cast<int>(y * 10000 + m * 100 + d);
  const int time =
      static_cast<int>((rest / 3600) * 1000000 + ((rest / 60) % 60) * 10000 + (rest % 60) * 100);
  int out = 0;
  if (!zep::coding::printable_to_stamp(date, time, &out)) return ZEP_EINVAL;
  *stamp = out;
  return 0;
}

int zep_date_to_unix(int date, int time, int64_t *seconds) {
  if (seconds == nullptr || date < 0 || date > 99991231 || time < 0) return ZEP_EINVAL;
  if (!is_day(date / 10000, (date / 100) % 100, date % 100)) return ZEP_EINVAL;
  if (time / 1000000 > 23 || (time / 10000) % 100 > 59 || (time / 100) % 100 > 59)
    return ZEP_EINVAL;
  *seconds = zep::api::unix_seconds(date, time);
  return 0;
}

int zep_grid_params(const char *grtyp, int ig1, int ig2, int ig3, int ig4, float xg[4]) {
  if (grtyp == nullptr || xg == nullptr) return ZEP_EINVAL;
  std::lock_guard<std::recursive_mutex> hold(zep::api::library_lock());
  zep::coding::GridParameters p;
  if (!zep::coding::grid_parameters(grtyp[0], ig1, ig2, ig3, ig4, &p)) return ZEP_EINVAL;
  xg[0] = p.xg1;
  xg[1] = p.xg2;
  xg[2] = p.xg3;
  xg[3] = p.xg4;
  return 0;
}

}  // extern "C"
