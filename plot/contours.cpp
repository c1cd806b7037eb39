#include "contours.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <map>
#include <utility>

namespace quarnel {

namespace {

// The grid's triangles as corner indices into the value arrays; a cell with a
// missing corner has none.
std::vector<std::array<std::size_t, 3>> triangles(
    std::size_t nx, std::size_t ny, const std::vector<const std::vector<double>*>& f) {
    std::vector<std::array<std::size_t, 3>> out;
    const auto known = [&](std::size_t k) {
        for (const std::vector<double>* v : f) {
            if (k >= v->size() || !std::isfinite((*v)[k])) return false;
        }
        return true;
    };
    for (std::size_t j = 0; j + 1 < ny; ++j) {
        for (std::size_t i = 0; i + 1 < nx; ++i) {
            const std::size_t a = j * nx + i;
            const std::size_t b = a + 1;
            const std::size_t c = a + nx;
            const std::size_t d = c + 1;
            if (!known(a) || !known(b) || !known(c) || !known(d)) continue;
            out.push_back({a, b, d});
            out.push_back({a, d, c});
        }
    }
    return out;
}

struct Vertex {
    GridPoint at;
    std::vector<double> values;
};

}  // namespace

std::vector<GridLine> region_at_least(const std::vector<double>& x, const std::vector<double>& y,
                                      const std::vector<const std::vector<double>*>& fields,
                                      const std::vector<double>& levels) {
    const std::size_t nx = x.size();
    std::vector<GridLine> out;
    for (const auto& t : triangles(nx, y.size(), fields)) {
        std::vector<Vertex> polygon;
        for (const std::size_t k : t) {
            Vertex v{{x[k % nx], y[k / nx]}, {}};
            for (const std::vector<double>* f : fields) v.values.push_back((*f)[k]);
            polygon.push_back(std::move(v));
        }
        // Cut the polygon by each field in turn (Sutherland and Hodgman):
        // every field is linear over the triangle, so the cut is exact.
        for (std::size_t f = 0; f < fields.size() && !polygon.empty(); ++f) {
            std::vector<Vertex> kept;
            for (std::size_t i = 0; i < polygon.size(); ++i) {
                const Vertex& p = polygon[i];
                const Vertex& q = polygon[(i + 1) % polygon.size()];
                const double fp = p.values[f] - levels[f];
                const double fq = q.values[f] - levels[f];
                if (fp >= 0) kept.push_back(p);
                if ((fp >= 0) != (fq >= 0)) {
                    const double s = fp / (fp - fq);
                    Vertex cut{{p.at.x + s * (q.at.x - p.at.x), p.at.y + s * (q.at.y - p.at.y)},
                               {}};
                    for (std::size_t g = 0; g < p.values.size(); ++g) {
                        cut.values.push_back(p.values[g] + s * (q.values[g] - p.values[g]));
                    }
                    kept.push_back(std::move(cut));
                }
            }
            polygon = std::move(kept);
        }
        if (polygon.size() < 3) continue;
        GridLine line;
        for (const Vertex& v : polygon) line.push_back(v.at);
        out.push_back(std::move(line));
    }
    return out;
}

std::vector<GridLine> isolines(const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<double>& field, double level) {
    const std::size_t nx = x.size();
    using Edge = std::pair<std::size_t, std::size_t>;
    // Each triangle's segment joins the crossings of two of its edges; an
    // edge is named by its corners in increasing order, so that the two
    // triangles beside it find one crossing.
    std::vector<std::pair<Edge, Edge>> segments;
    std::map<Edge, GridPoint> crossing;
    for (const auto& t : triangles(nx, y.size(), {&field})) {
        std::vector<Edge> cut;
        for (int e = 0; e < 3; ++e) {
            std::size_t a = t[e];
            std::size_t b = t[(e + 1) % 3];
            if (a > b) std::swap(a, b);
            const double fa = field[a] - level;
            const double fb = field[b] - level;
            if ((fa >= 0) == (fb >= 0)) continue;
            const double s = fa / (fa - fb);
            const GridPoint pa{x[a % nx], y[a / nx]};
            const GridPoint pb{x[b % nx], y[b / nx]};
            crossing[{a, b}] = {pa.x + s * (pb.x - pa.x), pa.y + s * (pb.y - pa.y)};
            cut.push_back({a, b});
        }
        if (cut.size() == 2) segments.push_back({cut[0], cut[1]});
    }
    // Join segments that share a crossing into polylines.
    std::multimap<Edge, std::size_t> at_edge;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        at_edge.insert({segments[s].first, s});
        at_edge.insert({segments[s].second, s});
    }
    std::vector<bool> used(segments.size(), false);
    const auto next = [&](const Edge& edge) -> long {
        const auto [from, to] = at_edge.equal_range(edge);
        for (auto it = from; it != to; ++it) {
            if (!used[it->second]) return static_cast<long>(it->second);
        }
        return -1;
    };
    std::vector<GridLine> out;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        if (used[s]) continue;
        used[s] = true;
        std::vector<Edge> chain = {segments[s].first, segments[s].second};
        // Forwards from the second end, then backwards from the first.
        for (int side = 0; side < 2; ++side) {
            for (;;) {
                const Edge end = side == 0 ? chain.back() : chain.front();
                const long k = next(end);
                if (k < 0) break;
                used[static_cast<std::size_t>(k)] = true;
                const auto& seg = segments[static_cast<std::size_t>(k)];
                const Edge other = seg.first == end ? seg.second : seg.first;
                if (side == 0) {
                    chain.push_back(other);
                } else {
                    chain.insert(chain.begin(), other);
                }
            }
        }
        GridLine line;
        for (const Edge& e : chain) line.push_back(crossing[e]);
        out.push_back(std::move(line));
    }
    return out;
}

}  // namespace quarnel
