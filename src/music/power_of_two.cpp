// A C library's exp2f may pick a different routine per CPU (with or without
// fused multiply-add) and may differ between architectures in the last bit.
// This one uses only IEEE double additions and multiplications, which give
// the same result everywhere when nothing is fused, and rounds to float once.
#include "power_of_two.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int series_terms = 18;

// 1/k! for k = 0..17, folded by the compiler in IEEE double.
struct SeriesCoefficients {
  double value[series_terms];
  constexpr SeriesCoefficients() : value{} {
    double factorial = 1;
    for (int k = 0; k < series_terms; k++) {
      if (k) factorial *= k;
      value[k] = 1.0 / factorial;
    }
  }
};

constexpr SeriesCoefficients coefficients;
constexpr double ln2 = 0.69314718055994530941723212145818;

}  // namespace

float power_of_two(float x) {
  if (std::isnan(x)) return x;
  if (x >= 128.0f) return INFINITY;
  // Below 2^-150 even the smallest subnormal float is the nearer neighbour of 0.
  if (x < -151.0f) return 0.0f;
  // Split x = n + t with n whole and 0 <= t < 1; both steps are exact in double.
  const double n = std::floor(double(x));
  const double y = (double(x) - n) * ln2;
  // e^y by its Taylor series: with y below ln 2 the 18th term is under 1e-17
  // of the sum, far below the float's half unit in the last place.
  double sum = coefficients.value[series_terms - 1];
  for (int k = series_terms - 2; k >= 0; k--) sum = sum * y + coefficients.value[k];
  // 2^n from the exponent bits: n lies in [-151, 127], a normal double.
  const uint64_t bits = uint64_t(int64_t(n) + 1023) << 52;
  double scale;
  std::memcpy(&scale, &bits, sizeof scale);
  return float(sum * scale);
}
