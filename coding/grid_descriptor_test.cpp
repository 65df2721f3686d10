#include "coding/grid_descriptor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "zep/coding.h"

namespace zep::coding {
namespace {

GridParameters decode(char type, int ig1, int ig2, int ig3, int ig4) {
  GridParameters g;
  float x1 = -7, x2 = -7, x3 = -7, x4 = -7;
  cigaxg_(&type, &x1, &x2, &x3, &x4, &ig1, &ig2, &ig3, &ig4, 1);
  g.xg1 = x1;
  g.xg2 = x2;
  g.xg3 = x3;
  g.xg4 = x4;
  return g;
}

TEST(GridDescriptorTest, SimpleTypes) {
  GridParameters g = decode('L', 50, 50, 100, 200);
  EXPECT_EQ(g.xg1, -89.0f);
  EXPECT_EQ(g.xg2, 2.0f);
  EXPECT_EQ(g.xg3, 0.5f);
  EXPECT_EQ(g.xg4, 0.5f);
  for (char t : {'A', 'B', 'G'}) {
    g = decode(t, 1, 2, 3, 4);
    EXPECT_EQ(g.xg1, 1.0f);
    EXPECT_EQ(g.xg2, 2.0f);
    EXPECT_EQ(g.xg3, 0.0f);
    EXPECT_EQ(g.xg4, 0.0f);
  }
  g = decode('C', 180, 360, 9000, 18000);
  EXPECT_EQ(g.xg1, 0.0f);
  EXPECT_EQ(g.xg2, 180.0f);
  EXPECT_EQ(g.xg3, 1.0f);
  EXPECT_EQ(g.xg4, 1.0f);
  g = decode('H', 10, 4, 7, 12000);
  EXPECT_EQ(g.xg1, 7.0f);
  EXPECT_EQ(g.xg2, 30.0f);
  EXPECT_EQ(g.xg3, 2000.0f);
  EXPECT_EQ(g.xg4, 2.0f);
}

TEST(GridDescriptorTest, PolarStereographicOldForm) {
  const GridParameters g = decode('N', 2000, 2000, 21000, 3810);
  EXPECT_EQ(g.xg1, 200.0f);
  EXPECT_EQ(g.xg2, 200.0f);
  EXPECT_EQ(g.xg3, 381000.0f);
  EXPECT_EQ(g.xg4, 210.0f);
  char type = 'N';
  char p1[7], p2[7], p3[8], p4[8];
  int ig1 = 2000, ig2 = 2000, ig3 = 21000, ig4 = 3810;
  igapg_(&type, p1, p2, p3, p4, &ig1, &ig2, &ig3, &ig4, 1, 7, 7, 8, 8);
  EXPECT_EQ(std::string(p1, 7), " 200.0 ");
  EXPECT_EQ(std::string(p2, 7), " 200.0 ");
  EXPECT_EQ(std::string(p3, 8), "381.0Km ");
  EXPECT_EQ(std::string(p4, 8), "210.000 ");
}

TEST(GridDescriptorTest, PolarStereographicNewForm) {
  // The first point at the pole itself: the pole is at grid point (1, 1).
  GridParameters g = decode('N', 381, 2100, 0, 32768);
  EXPECT_FLOAT_EQ(g.xg1, 1.0f);
  EXPECT_FLOAT_EQ(g.xg2, 1.0f);
  EXPECT_EQ(g.xg3, 38100.0f);
  EXPECT_EQ(g.xg4, 210.0f);
  // ig3 above 32767 multiplies the grid length by ten; k above 16383 turns
  // the angle to 360 minus it.
  g = decode('S', 381, 2100, 32768, 32768 + 16384);
  EXPECT_EQ(g.xg3, 381000.0f);
  EXPECT_EQ(g.xg4, 150.0f);
  // Elsewhere the pole position is 1 minus the first point's coordinates.
  const int k = 4000, j = 5000;
  g = decode('N', 500, 900, j, 32768 + k);
  float x, y;
  float lat = 90.0f - static_cast<float>(k) * 180.0f * (1.0f / 16383.0f);
  float lon = static_cast<float>(j) * 360.0f * (1.0f / 32767.0f);
  float d60 = 50000.0f, dgrw = 90.0f;
  int north = 1;
  xyfll_(&x, &y, &lat, &lon, &d60, &dgrw, &north);
  EXPECT_EQ(g.xg1, 1.0f - x);
  EXPECT_EQ(g.xg2, 1.0f - y);
}

TEST(GridDescriptorTest, StereographicProjection) {
  float x, y, lat = 60.0f, lon = 0.0f, d60 = 1.0f, dgrw = 0.0f;
  int north = 1, south = 2;
  xyfll_(&x, &y, &lat, &lon, &d60, &dgrw, &north);
  const double r = 11888445.0 * std::cos(M_PI / 3) / (1 + std::sin(M_PI / 3));
  EXPECT_NEAR(x, r, r * 1e-6);
  EXPECT_NEAR(y, 0.0, 1.0);
  lon = 90.0f;
  d60 = 2.0f;
  xyfll_(&x, &y, &lat, &lon, &d60, &dgrw, &north);
  EXPECT_NEAR(x, 0.0, 1.0);
  EXPECT_NEAR(y, r / 2, r * 1e-6);
  // The south is the mirror image of the north.
  float xs, ys, slat = -45.0f, slon = 30.0f, nlat = 45.0f, nlon = -30.0f;
  xyfll_(&xs, &ys, &slat, &slon, &d60, &dgrw, &south);
  xyfll_(&x, &y, &nlat, &nlon, &d60, &dgrw, &north);
  EXPECT_EQ(xs, x);
  EXPECT_EQ(ys, y);
}

TEST(GridDescriptorTest, RotatedGrid) {
  // b = 4 * 1000 + 2, a = 20000 (not below 3559), e = 4 * 30 + 1.
  const int ig3 = 20000 * 4 + 2, ig4 = 800 * 4 + 1;
  GridParameters g = decode('E', 1000, 30, ig3, ig4);
  EXPECT_EQ(g.xg1, 4002.0f * 0.025f - 90.0f);
  EXPECT_EQ(g.xg2, 20000.0f * 0.025f - 90.0f);
  EXPECT_EQ(g.xg3, 121.0f * 0.025f);
  EXPECT_EQ(g.xg4, 800.0f * 0.025f);
  g = decode('E', 0, 0, 4 * 100, 0);
  EXPECT_GT(g.xg2, 319.0f);
  EXPECT_EQ(g.xg2, 16484.0f * 0.025f - 90.0f);
  const GridTexts t = grid_texts('E', 1000, 30, ig3, ig4);
  EXPECT_EQ(t.pg1, " 10.05");
  EXPECT_EQ(t.pg3, "  3.025");
  EXPECT_EQ(t.pg4, " 20.000");
}

TEST(GridDescriptorTest, ListingTextsOfOtherTypes) {
  GridTexts t = grid_texts('G', 1234, -5, 0, 0);
  EXPECT_EQ(t.pg1, "  1234");
  EXPECT_EQ(t.pg2, "    -5");
  EXPECT_EQ(t.pg3, "      0");
  t = grid_texts('Z', 309, 37, 393647, 26341);
  EXPECT_EQ(t.pg1, "   309");
  EXPECT_EQ(t.pg3, " 393647");
  EXPECT_EQ(t.pg4, "  26341");
  t = grid_texts('L', 16680180, 0, 12345678, 0);  // raw, too wide for I7
  EXPECT_EQ(t.pg1, "******");
  EXPECT_EQ(t.pg3, "*******");
  t = grid_texts('A', 2147483647, 0, 0, 0);
  EXPECT_EQ(t.pg1, "******");
}

TEST(GridDescriptorTest, UnknownTypeLeavesParametersAndSaysSo) {
  char type = 'Z';
  float x1 = 1, x2 = 2, x3 = 3, x4 = 4;
  int ig1 = 5, ig2 = 6, ig3 = 7, ig4 = 8;
  testing::internal::CaptureStdout();
  cigaxg_(&type, &x1, &x2, &x3, &x4, &ig1, &ig2, &ig3, &ig4, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "0 ERREUR, MAUVAISE SPECIFICATION DE GRILLE, (TYPE)(IGAXG)\n");
  EXPECT_EQ(x1, 1.0f);
  EXPECT_EQ(x4, 4.0f);
  GridParameters g;
  EXPECT_FALSE(grid_parameters('!', 1, 2, 3, 4, &g));
  EXPECT_FALSE(grid_parameters('n', 1, 2, 3, 4, &g));
}

}  // namespace
}  // namespace zep::coding
