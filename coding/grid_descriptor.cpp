// Grid descriptor coding: cigaxg_, igapg_ and xyfll_.
//
// Per grid type, xg1..xg4 from ig1..ig4 (each product rounded to single
// precision): A, B, G the first two as they are; C and L latitude and
// longitude of the first point and the steps; H; N and S polar
// stereographic (pole position, grid length in metres, angle in degrees);
// E the rotated grid's two points packed over the four descriptors.
#include "coding/grid_descriptor.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "coding/fixed_format.h"
#include "zep/coding.h"
#include "common/fixed_text.h"

namespace zep::coding {

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

float f(int v) { return static_cast<float>(v); }

// Integer part of a float for an I field; out-of-range values give a number
// that no field of the listing can hold, so they print as asterisks.
long long whole(float v) {
  if (!std::isfinite(v) || std::fabs(v) >= 9e18f) return INT64_MAX;
  return static_cast<long long>(v);
}

}  // namespace

void polar_coordinates(float lat, float lon, float d60, float dgrw, int hemisphere, float *x,
                       float *y) {
  const float re = 11888445.0f / d60;
  if (hemisphere == 2) {
    lat = -lat;
    lon = -lon;
  }
  const float angle = (dgrw + lon) * kDegreesToRadians;
  const float s = std::sin(lat * kDegreesToRadians);
  const float r = re * std::sqrt((1.0f - s) / (1.0f + s));
  *x = r * std::cos(angle);
  *y = r * std::sin(angle);
}

bool grid_parameters(char grtyp, int ig1, int ig2, int ig3, int ig4, GridParameters *out) {
  GridParameters g;
  switch (grtyp) {
    case 'A':
    case 'B':
    case 'G':
      g.xg1 = f(ig1);
      g.xg2 = f(ig2);
      break;
    case 'C':
      g.xg1 = f(ig3) * 0.01f - 90.0f;
      g.xg2 = f(ig4) * 0.01f;
      g.xg3 = ig1 != 0 ? 180.0f / f(ig1) : HUGE_VALF;
      g.xg4 = ig2 != 0 ? 360.0f / f(ig2) : HUGE_VALF;
      break;
    case 'L':
      g.xg1 = f(ig3) * 0.01f - 90.0f;
      g.xg2 = f(ig4) * 0.01f;
      g.xg3 = f(ig1) * 0.01f;
      g.xg4 = f(ig2) * 0.01f;
      break;
    case 'H':
      g.xg1 = f(ig3);
      g.xg2 = f(ig4) * 0.01f - 90.0f;
      g.xg3 = f(ig2) * 500.0f;
      g.xg4 = f(ig1) * 0.2f;
      break;
    case 'N':
    case 'S':
      if (ig4 < 32768) {
        g.xg1 = f(ig2) * 0.1f;
        g.xg2 = f(ig1) * 0.1f;
        g.xg3 = f(ig4) * 100.0f;
        g.xg4 = f(ig3) * 0.01f;
      } else {
        int64_t j = ig3;
        int64_t k = static_cast<int64_t>(ig4) - 32768;
        g.xg3 = f(ig1) * 100.0f;
        if (ig3 > 32767) {
          g.xg3 = g.xg3 * 10.0f;
          j = static_cast<int64_t>(ig3) - 32768;
        }
        g.xg4 = f(ig2) * 0.1f;
        if (k > 16383) {
          g.xg4 = 360.0f - g.xg4;
          k -= 16384;
        }
        const float lat = 90.0f - static_cast<float>(k) * 180.0f * (1.0f / 16383.0f);
        const float lon = static_cast<float>(j) * 360.0f * (1.0f / 32767.0f);
        float x = 0, y = 0;
        polar_coordinates(lat, lon, g.xg3, g.xg4, grtyp == 'N' ? 1 : 2, &x, &y);
        g.xg1 = 1.0f - x;
        g.xg2 = 1.0f - y;
      }
      break;
    case 'E': {
      const uint32_t u1 = static_cast<uint32_t>(ig1), u2 = static_cast<uint32_t>(ig2);
      const uint32_t u3 = static_cast<uint32_t>(ig3), u4 = static_cast<uint32_t>(ig4);
      const int64_t b = 4 * static_cast<int64_t>(u1) + (u3 & 3u);
      int64_t a = u3 >> 2;
      if (a < 3559) a += 16384;
      const int64_t e = 4 * static_cast<int64_t>(u2) + (u4 & 3u);
      g.xg1 = static_cast<float>(b) * 0.025f - 90.0f;
      g.xg2 = static_cast<float>(a) * 0.025f - 90.0f;
      g.xg3 = static_cast<float>(e) * 0.025f;
      g.xg4 = static_cast<float>(u4 >> 2) * 0.025f;
      break;
    }
    default: return false;
  }
  *out = g;
  return true;
}

GridTexts grid_texts(char grtyp, int ig1, int ig2, int ig3, int ig4) {
  GridTexts t;
  GridParameters g;
  switch (grtyp) {
    case 'A':
    case 'B':
    case 'G':
      grid_parameters(grtyp, ig1, ig2, ig3, ig4, &g);
      t.pg1 = format_integer(whole(g.xg1), 6);
      t.pg2 = format_integer(whole(g.xg2), 6);
      t.pg3 = format_integer(whole(g.xg3), 7);
      t.pg4 = format_integer(whole(g.xg4), 7);
      break;
    case 'N':
    case 'S':
      grid_parameters(grtyp, ig1, ig2, ig3, ig4, &g);
      t.pg1 = format_fixed(g.xg1, 6, 1);
      t.pg2 = format_fixed(g.xg2, 6, 1);
      t.pg3 = format_fixed(g.xg3 * 0.001f, 5, 1) + "Km";
      t.pg4 = format_fixed(g.xg4, 7, 3);
      break;
    case 'E':
      grid_parameters(grtyp, ig1, ig2, ig3, ig4, &g);
      t.pg1 = format_fixed(g.xg1, 6, 2);
      t.pg2 = format_fixed(g.xg2, 6, 2);
      t.pg3 = format_fixed(g.xg3, 7, 3);
      t.pg4 = format_fixed(g.xg4, 7, 3);
      break;
    default:
      t.pg1 = format_integer(ig1, 6);
      t.pg2 = format_integer(ig2, 6);
      t.pg3 = format_integer(ig3, 7);
      t.pg4 = format_integer(ig4, 7);
      break;
  }
  return t;
}

}  // namespace zep::coding

namespace zep::coding {
namespace {

void put_field(const std::string &text, char *field, size_t length) {
  zep::fill_field(field, length, text);
}

char grid_type(const char *grtyp, size_t len) { return grtyp != nullptr && len > 0 ? *grtyp : ' '; }

}  // namespace
}  // namespace zep::coding

using namespace zep::coding;

extern "C" void cigaxg_(char *grtyp, float *xg1, float *xg2, float *xg3, float *xg4, int *ig1,
                        int *ig2, int *ig3, int *ig4, size_t grtyp_len) {
  zep::coding::GridParameters g;
  if (!zep::coding::grid_parameters(grid_type(grtyp, grtyp_len), *ig1, *ig2, *ig3, *ig4, &g)) {
    std::fputs("0 ERREUR, MAUVAISE SPECIFICATION DE GRILLE, (TYPE)(IGAXG)\n", stdout);
    std::fflush(stdout);
    return;
  }
  *xg1 = g.xg1;
  *xg2 = g.xg2;
  *xg3 = g.xg3;
  *xg4 = g.xg4;
}

extern "C" void igapg_(char *grtyp, char *pg1, char *pg2, char *pg3, char *pg4, int *ig1, int *ig2,
                       int *ig3, int *ig4, size_t grtyp_len, size_t pg1_len, size_t pg2_len,
                       size_t pg3_len, size_t pg4_len) {
  const zep::coding::GridTexts t =
      zep::coding::grid_texts(grid_type(grtyp, grtyp_len), *ig1, *ig2, *ig3, *ig4);
  put_field(t.pg1, pg1, pg1_len);
  put_field(t.pg2, pg2, pg2_len);
  put_field(t.pg3, pg3, pg3_len);
  put_field(t.pg4, pg4, pg4_len);
}

extern "C" void xyfll_(float *x, float *y, float *lat, float *lon, float *d60, float *dgrw,
                       int *hemisphere) {
  zep::coding::polar_coordinates(*lat, *lon, *d60, *dgrw, *hemisphere, x, y);
}
