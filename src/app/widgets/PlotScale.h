// Grid steps for the plots' axes.
#pragma once

#include <cmath>

// A step for grid lines that gives about `lines` of them over `span`: 1, 2 or 5 times a
// power of ten.
inline double NiceStep(double span, int lines) {
  if (span <= 0) return 1;
  const double raw = span / lines;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10 * power;
}
