// Grid descriptors: the four integer descriptors ig1..ig4 of a grid type
// decoded to four real grid parameters, their listing texts, and the
// polar-stereographic coordinates of a latitude and longitude.
#pragma once

#include <string>

namespace zep::coding {

struct GridParameters {
  float xg1 = 0, xg2 = 0, xg3 = 0, xg4 = 0;
};

// Decodes the descriptors of grid type `grtyp` (A, B, C, E, G, H, L, N, S);
// false for any other type, with *out untouched.
bool grid_parameters(char grtyp, int ig1, int ig2, int ig3, int ig4, GridParameters *out);

// Polar-stereographic grid coordinates of (lat, lon): grid length d60 in
// metres, angle dgrw in degrees added to longitudes, hemisphere 1 north,
// 2 south.
void polar_coordinates(float lat, float lon, float d60, float dgrw, int hemisphere, float *x,
                       float *y);

// The four listing texts (unpadded) of a grid's descriptors.
struct GridTexts {
  std::string pg1, pg2, pg3, pg4;
};
GridTexts grid_texts(char grtyp, int ig1, int ig2, int ig3, int ig4);

}  // namespace zep::coding
