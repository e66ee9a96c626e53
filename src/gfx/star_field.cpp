// The star table (see star_field.h).
#include "star_field.h"

#include <cstdlib>

Star star_field[star_count];

void fill_star_field(int32_t width, int32_t height) {
  for (Star& star : star_field) {
    star.x = std::rand() % width;
    star.y = std::rand() % height;
    star.depth = static_cast<uint32_t>(std::rand() % 1000);
  }
}
