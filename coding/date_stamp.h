// Date-time stamps: the conversions behind newdate_, incdatr_ and company,
// as plain functions that neither print nor keep state.
//
// True date T: count of 5-second intervals since 1980-01-01 00:00:00
// (720 per hour, 17280 per day); negative values reach back to 1900-01-01
// (T = -504904320) and are valid on whole hours only.
// Stamp: old form MMDDYYHHR below 123200000 (years 1900-1999, whole hours,
// R a run digit); new form 123200000 + 10 * (T / 8) + T % 8.
#pragma once

#include <cstdint>
#include <string>

namespace zep::coding {

constexpr int kMarkerStamp = 101010101;        // "cannot be made a stamp"
constexpr double kMarkerHours = 1073741824.0;  // 2^30, failed difference
constexpr int kNewFormBase = 123200000;
constexpr int64_t kTrueDate1900 = -504904320;
constexpr int64_t kTrueDate2000 = 126230400;

// Julian day number of a calendar date (divisions truncate toward zero).
int64_t julian_day(int64_t year, int64_t month, int64_t day);
// Calendar date of a Julian day number.
void calendar_date(int64_t jdn, int64_t *year, int64_t *month, int64_t *day);

// True when T is a valid true date (T >= 0, or a whole hour since 1900).
bool valid_true_date(int64_t t);
// T rounded to the nearest hour, halves away from zero.
int64_t round_to_hour(int64_t t);

bool stamp_to_true_date(int stamp, int *t, int *run);          // mode 1
bool true_date_to_stamp(int64_t t, int run, int *stamp);       // mode -1
bool printable_to_true_date(int date, int time, int *t);       // mode 2
bool true_date_to_printable(int64_t t, int *date, int *time);  // mode -2
bool printable_to_stamp(int date, int time, int *stamp);       // mode 3
bool stamp_to_printable(int stamp, int *date, int *time);      // mode -3

// The stamp advanced by `hours` (rounded to whole hours when `whole_hours`).
// On failure *result is the marker stamp and `message` (optional) the line
// the by-reference routines print, without its line end.
bool add_hours(int stamp, double hours, bool whole_hours, int *result, std::string *message);
// stamp1 - stamp2 in hours (rounded to whole hours when `whole_hours`). On
// failure *hours is the marker 2^30 and `message` the line to print.
bool stamp_difference(int stamp1, int stamp2, bool whole_hours, double *hours,
                      std::string *message);

// Date-time group (14 words) from its stamp, and its stamp from the group.
void fill_group(int group[14]);
int group_stamp(int group[14]);

}  // namespace zep::coding
