#pragma once

#include <vector>

namespace quarnel {

// Contours of values on a grid: the value of (x[i], y[j]) at [j * x.size() + i],
// NaN where there is none. Each grid cell with four values is split into two
// triangles over which a value is linear, so that contours of several fields
// agree on one geometry.
struct GridPoint {
    double x = 0;
    double y = 0;
};
using GridLine = std::vector<GridPoint>;

// The polygons, in the grid's coordinates, where every field is at least its
// level: one convex polygon per triangle that holds some of the region.
std::vector<GridLine> region_at_least(const std::vector<double>& x, const std::vector<double>& y,
                                      const std::vector<const std::vector<double>*>& fields,
                                      const std::vector<double>& levels);

// The lines where a field equals `level`, joined across triangles into
// polylines (a closed one repeats its first point at its end).
std::vector<GridLine> isolines(const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<double>& field, double level);

}  // namespace quarnel
