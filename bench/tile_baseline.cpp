#include "tile_baseline.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <map>

namespace bench {

namespace {

using tilebudget::Pattern;

// Pixels held as two bit planes, so that the differing pixels are counted
// with a few instructions.
static_assert(tilebudget::cell_pixels == 64, "a pattern's bit plane is one 64-bit word");
struct Planes {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
};

Planes planes(const Pattern& p) {
    Planes out;
    for (std::size_t px = 0; px < p.size(); ++px) {
        out.low |= std::uint64_t{p[px] & 1U} << px;
        out.high |= std::uint64_t{(p[px] >> 1) & 1U} << px;
    }
    return out;
}

int distance(const Planes& a, const Planes& b) {
    return std::popcount((a.low ^ b.low) | (a.high ^ b.high));
}

} // namespace

std::vector<Pattern> plain_merge(std::span<const Pattern> cells, std::size_t budget) {
    // The distinct patterns in order of first appearance.
    std::map<Pattern, std::size_t> index;
    std::vector<std::size_t> of_cell;
    std::vector<Planes> shapes;
    std::vector<std::size_t> uses;
    std::vector<Pattern> distinct;
    for (const Pattern& p : cells) {
        const auto [at, fresh] = index.try_emplace(p, distinct.size());
        if (fresh) {
            distinct.push_back(p);
            shapes.push_back(planes(p));
            uses.push_back(0);
        }
        ++uses[at->second];
        of_cell.push_back(at->second);
    }

    const std::size_t n = distinct.size();
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> merged_into(n, none);
    std::vector<int> best(n, std::numeric_limits<int>::max());
    std::vector<std::size_t> partner(n, none);
    auto rescan = [&](std::size_t i) {
        best[i] = std::numeric_limits<int>::max();
        partner[i] = none;
        for (std::size_t j = 0; j < n; ++j) {
            if (j != i && merged_into[j] == none) {
                const int d = distance(shapes[i], shapes[j]);
                if (d < best[i]) {
                    best[i] = d;
                    partner[i] = j;
                }
            }
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        rescan(i);
    }
    for (std::size_t left = n; left > budget; --left) {
        // The closest pair, the one of the earliest patterns among equals.
        std::size_t a = none;
        for (std::size_t i = 0; i < n; ++i) {
            if (merged_into[i] == none && (a == none || best[i] < best[a])) {
                a = i;
            }
        }
        const std::size_t b = partner[a];
        const std::size_t first = std::min(a, b);
        const std::size_t second = std::max(a, b);
        const std::size_t stay = uses[second] > uses[first] ? second : first;
        const std::size_t gone = stay == first ? second : first;
        merged_into[gone] = stay;
        uses[stay] += uses[gone];
        // The staying pattern is unchanged, so only those that pointed at
        // the other one look again.
        for (std::size_t k = 0; k < n; ++k) {
            if (merged_into[k] == none && partner[k] == gone) {
                rescan(k);
            }
        }
    }

    std::vector<Pattern> out;
    out.reserve(cells.size());
    for (std::size_t i : of_cell) {
        while (merged_into[i] != none) {
            i = merged_into[i];
        }
        out.push_back(distinct[i]);
    }
    return out;
}

} // namespace bench
