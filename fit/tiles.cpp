#include "tiles.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace tilebudget {

// How the budget is met.
//
// First, exactly: the order of each sub-palette's colours 1-3. A cell's tile
// is its pattern of c whatever its sub-palette, so renumbering a sub-palette
// renumbers all its cells' patterns, and two sub-palettes' cells share a
// tile only when their colours line up position for position. Every
// combination of the used sub-palettes' six orders is counted (without kept
// tiles, renumbering all sub-palettes alike changes no count, so the first
// used one stays as given). Of the least counts, the first in that
// enumeration wins, the given orders first; when the given orders already
// fit the budget, nothing is renumbered at all.
//
// When even the best orders leave more tiles than the budget, cells must
// change. Giving cell i pattern q costs C_i(q) = sum over pixels of the cell's
// cost of colour q[pixel], the error against what the cell should look like,
// under its own sub-palette. For a set of cells, the pattern that costs them
// least together is found pixel by pixel (the least of the summed costs), so
// the problem is k-medians over cells with free representatives:
//
//   1. Agglomeration. Every distinct pattern starts as a cluster (its cells
//      already share a tile), each kept tile as a cluster whose pattern is
//      fixed. The pair of clusters whose union costs least over their two
//      costs is merged, until the free clusters fit beside the kept ones.
//      Each cluster holds its summed costs and its 32 cheapest partners
//      with a bound under which no other lies, so a merge rescans only the
//      clusters whose list ran out; each pair's cost is a sum of
//      non-negative terms, so a scan gives up on a pair as soon as it passes
//      the 32nd best found, and the pairs of a merged cluster as soon as
//      neither list would note them. Memory stays a constant per cluster.
//   2. Single moves. A cell moves to another cluster when what its leaving
//      saves its cluster (whose pattern then follows the rest) exceeds what
//      it adds to the other, in sweeps until none moves.
//   3. Refinement. Alternately every cell takes its cheapest representative
//      and every free representative becomes the best pattern for its cells;
//      a representative left with no cells, or one that repeats another, is
//      given instead the own best pattern of the cell that gains most by it.
//      The total never rises, and the loop ends when nothing moves. A cell
//      whose pattern is a kept tile stays on it throughout.
//
// On photographs mapped to four sub-palettes, 2 and 3 take off about one per
// cent of what 1 adds: the agglomeration does nearly all the work, and what
// it leaves is a deep local optimum. Swaps were tried and left out: a
// cell's own best pattern, or the second half of a cluster split in two, put
// in place of the representative whose loss costs least, each weighed over
// every cell, takes off under a thousandth on screens whose 958 cells are
// all different. The error such screens keep is spread over nearly all
// their cells (the costlier half carries two thirds to four fifths of it),
// not gathered in a few that some other tile would serve. Nor does a
// search of more time find much: at 128 tiles, a thousand rounds of giving
// one to four representatives the own pattern of a costly cell, then 2 and
// 3 again, kept when the total fell, took 1.0 and 1.4 per cent off the added
// error of dink-1's two fits, for 250 times the time, and 200 rounds 0.9 per
// cent off astronaut's.
//
// Which renumbering shares best under loss is not the one that shares most
// without loss, so both the least count's orders and the orders that sort
// each sub-palette by lightness are fitted, and the one with less error is
// kept (past 2048 tiles, only one: see fit()). Fitting each sub-palette's
// other orders in turn takes off one to three per cent more, but at some
// twenty fits' time; judged with the clusters held, or with that
// sub-palette's cells each taking its cheapest representative anew, no other
// order won on the screens tried: the clusters were formed under their
// orders, and only forming them again finds what another order shares. All
// arithmetic is in a fixed order, ties go to the lowest index, and no
// standard distribution or hash order is involved, so every machine gives
// the same result.

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr std::size_t plane = cell_pixels; // costs are held colour-major: [c][pixel]
constexpr std::size_t table = colours * cell_pixels;

// A pattern as two bit planes, for counting and sorting.
static_assert(cell_pixels == 64, "a pattern's bit plane is one 64-bit word");
struct Packed {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    friend auto operator<=>(const Packed&, const Packed&) = default;
};

Packed pack(const Pattern& pattern) {
    Packed out;
    for (std::size_t px = 0; px < cell_pixels; ++px) {
        out.low |= std::uint64_t{pattern[px] & 1U} << px;
        out.high |= std::uint64_t{(pattern[px] >> 1) & 1U} << px;
    }
    return out;
}

// The inverse of an order: where each given position's colour goes.
Order inverse(const Order& order) {
    Order out{};
    for (std::uint8_t c = 0; c < colours; ++c) {
        out[order[c]] = c;
    }
    return out;
}

Packed renumber(const Packed& p, const Order& to, std::uint64_t fixed) {
    Packed out{p.low & fixed, p.high & fixed};
    for (std::uint8_t c = 0; c < colours; ++c) {
        const std::uint64_t where =
            ((c & 1U) ? p.low : ~p.low) & ((c & 2U) ? p.high : ~p.high) & ~fixed;
        if ((to[c] & 1U) != 0) {
            out.low |= where;
        }
        if ((to[c] & 2U) != 0) {
            out.high |= where;
        }
    }
    return out;
}

// The six orders of colours 1-3, the given one first.
constexpr std::array<Order, 6> all_orders = {{
    {0, 1, 2, 3},
    {0, 1, 3, 2},
    {0, 2, 1, 3},
    {0, 2, 3, 1},
    {0, 3, 1, 2},
    {0, 3, 2, 1},
}};
constexpr Order given_order = all_orders[0];

std::size_t count_distinct(std::vector<Packed>& all, const std::vector<Packed>& kept_sorted,
                           std::size_t kept_slots) {
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    std::size_t also_kept = 0;
    auto k = kept_sorted.begin();
    for (const Packed& p : all) {
        while (k != kept_sorted.end() && *k < p) {
            ++k;
        }
        if (k != kept_sorted.end() && *k == p) {
            ++also_kept;
        }
    }
    return kept_slots + all.size() - also_kept;
}

using Orders = std::array<Order, sub_palettes>;

struct Counted {
    Orders orders{};
    std::size_t tiles = 0;
};

class Counter {
  public:
    Counter(std::span<const Cell> cells, std::span<const Pattern> kept) : kept_slots_(kept.size()) {
        for (const Cell& cell : cells) {
            distinct_[cell.palette].push_back({pack(cell.pattern), cell.fixed});
            used_[cell.palette] = true;
        }
        for (auto& list : distinct_) {
            std::sort(list.begin(), list.end());
            list.erase(std::unique(list.begin(), list.end()), list.end());
        }
        for (const Pattern& p : kept) {
            kept_.push_back(pack(p));
        }
        std::sort(kept_.begin(), kept_.end());
        kept_.erase(std::unique(kept_.begin(), kept_.end()), kept_.end());
    }

    std::size_t count(const Orders& orders) {
        all_.clear();
        for (std::size_t p = 0; p < sub_palettes; ++p) {
            const Order to = inverse(orders[p]);
            for (const auto& [packed, fixed] : distinct_[p]) {
                all_.push_back(renumber(packed, to, fixed));
            }
        }
        return count_distinct(all_, kept_, kept_slots_);
    }

    // The least count over all orders; the first such in the enumeration.
    Counted least() {
        std::vector<std::size_t> free;
        for (std::size_t p = 0; p < sub_palettes; ++p) {
            if (used_[p]) {
                free.push_back(p);
            }
        }
        // Without kept tiles only the relative orders matter.
        if (kept_.empty() && !free.empty()) {
            free.erase(free.begin());
        }
        std::size_t combinations = 1;
        for (std::size_t i = 0; i < free.size(); ++i) {
            combinations *= all_orders.size();
        }
        Counted best;
        best.orders.fill(given_order);
        best.tiles = std::numeric_limits<std::size_t>::max();
        for (std::size_t n = 0; n < combinations; ++n) {
            Orders orders;
            orders.fill(given_order);
            std::size_t rest = n;
            for (std::size_t i = free.size(); i-- > 0;) {
                orders[free[i]] = all_orders[rest % all_orders.size()];
                rest /= all_orders.size();
            }
            const std::size_t tiles = count(orders);
            if (tiles < best.tiles) {
                best = {orders, tiles};
            }
        }
        return best;
    }

  private:
    std::array<std::vector<std::pair<Packed, std::uint64_t>>, sub_palettes> distinct_;
    std::array<bool, sub_palettes> used_{};
    std::vector<Packed> kept_;
    std::size_t kept_slots_;
    std::vector<Packed> all_;
};

// Each sub-palette's colours 1-3 from dark to light (equal lightness in the
// given order), so that a pattern's light and dark parts mean the same in
// every sub-palette.
Orders lightness_orders(const std::array<PaletteLab, sub_palettes>& palettes) {
    Orders out{};
    for (std::size_t p = 0; p < sub_palettes; ++p) {
        Order order = given_order;
        std::stable_sort(order.begin() + 1, order.end(), [&](std::uint8_t x, std::uint8_t y) {
            return palettes[p][x].l < palettes[p][y].l;
        });
        out[p] = order;
    }
    return out;
}

// A cell under new orders: its pattern renumbered and its costs colour-major.
struct Item {
    Pattern pattern{};
    std::array<float, table> cost{};
    float floor = 0; // the least any pattern can cost it
};

Item renumbered(const Cell& cell, const Order& order) {
    Item item;
    const Order to = inverse(order);
    for (std::size_t px = 0; px < cell_pixels; ++px) {
        const bool fixed = (cell.fixed >> px & 1U) != 0;
        item.pattern[px] = fixed ? cell.pattern[px] : to[cell.pattern[px]];
        float least = infinity;
        for (std::size_t c = 0; c < colours; ++c) {
            const float cost = cell.costs[px][fixed ? c : order[c]];
            item.cost[c * plane + px] = cost;
            least = std::min(least, cost);
        }
        item.floor += least;
    }
    return item;
}

// The summed costs of a set of cells. Held in float: the sums stay far below
// the range where float steps would matter next to ΔE differences of 0.01.
struct Sum {
    std::array<float, table> cost{};
    void add(const std::array<float, table>& more) {
        for (std::size_t i = 0; i < table; ++i) {
            cost[i] += more[i];
        }
    }
};

// The cheapest pattern for summed costs; `keep` wins ties.
Pattern best_pattern(const Sum& sum, const Pattern& keep) {
    Pattern out{};
    for (std::size_t px = 0; px < cell_pixels; ++px) {
        std::uint8_t best = keep[px];
        float least = sum.cost[best * plane + px];
        for (std::uint8_t c = 0; c < colours; ++c) {
            const float cost = sum.cost[c * plane + px];
            if (cost < least) {
                least = cost;
                best = c;
            }
        }
        out[px] = best;
    }
    return out;
}

// What pattern `q` costs cells whose summed costs are `cost`; gives up, with
// some value above `bound`, once the partial sum passes it.
float pattern_cost(const std::array<float, table>& cost, const Pattern& q, float bound) {
    float total = 0;
    for (std::size_t block = 0; block < cell_pixels; block += 16) {
        for (std::size_t px = block; px < block + 16; ++px) {
            total += cost[q[px] * plane + px];
        }
        if (total > bound) {
            return total;
        }
    }
    return total;
}

struct Cluster {
    Sum sum;
    std::array<float, cell_pixels> least{}; // per pixel, under the cluster's best pattern
    int kept = -1;                          // the kept tile it is fixed to, if any
};

void settle(Cluster& cluster, std::span<const Pattern> kept) {
    for (std::size_t px = 0; px < cell_pixels; ++px) {
        if (cluster.kept >= 0) {
            const std::uint8_t c = kept[static_cast<std::size_t>(cluster.kept)][px];
            cluster.least[px] = cluster.sum.cost[c * plane + px];
        } else {
            float least = cluster.sum.cost[px];
            for (std::size_t c = 1; c < colours; ++c) {
                least = std::min(least, cluster.sum.cost[c * plane + px]);
            }
            cluster.least[px] = least;
        }
    }
}

// What merging two clusters adds to their costs; see pattern_cost for `bound`.
// Nearly all the time goes here, so it has a build for wider vector units
// too; each lane adds and compares exactly as the plain build does, so both
// give the same sums.
__attribute__((target_clones("avx2", "default"))) float
merge_cost(const Cluster& a, const Cluster& b, std::span<const Pattern> kept, float bound) {
    if (a.kept >= 0 && b.kept >= 0) {
        return infinity;
    }
    if (a.kept >= 0 || b.kept >= 0) {
        const Cluster& fixed = a.kept >= 0 ? a : b;
        const Cluster& free = a.kept >= 0 ? b : a;
        const Pattern& q = kept[static_cast<std::size_t>(fixed.kept)];
        float total = 0;
        for (std::size_t px = 0; px < cell_pixels; ++px) {
            total += free.sum.cost[q[px] * plane + px] - free.least[px];
        }
        return total;
    }
    // Lanes summed in a fixed tree, the same with or without vector units.
    constexpr std::size_t lanes = 16;
    std::array<float, lanes> acc{};
    for (std::size_t block = 0; block < cell_pixels; block += lanes) {
        for (std::size_t i = 0; i < lanes; ++i) {
            const std::size_t px = block + i;
            const float s0 = a.sum.cost[px] + b.sum.cost[px];
            const float s1 = a.sum.cost[plane + px] + b.sum.cost[plane + px];
            const float s2 = a.sum.cost[2 * plane + px] + b.sum.cost[2 * plane + px];
            const float s3 = a.sum.cost[3 * plane + px] + b.sum.cost[3 * plane + px];
            const float m01 = s1 < s0 ? s1 : s0;
            const float m23 = s3 < s2 ? s3 : s2;
            acc[i] += (m23 < m01 ? m23 : m01) - a.least[px] - b.least[px];
        }
        std::array<float, lanes / 2> half{};
        for (std::size_t i = 0; i < lanes / 2; ++i) {
            half[i] = acc[i] + acc[i + lanes / 2];
        }
        const float total = ((half[0] + half[4]) + (half[1] + half[5])) +
                            ((half[2] + half[6]) + (half[3] + half[7]));
        if (total > bound || block + lanes == cell_pixels) {
            return total;
        }
    }
    return infinity; // not reached
}

class Agglomeration {
  public:
    Agglomeration(std::vector<Cluster> clusters, std::span<const Pattern> kept)
        : clusters_(std::move(clusters)), kept_(kept), near_(clusters_.size()),
          alive_(clusters_.size(), 1), parent_(clusters_.size(), none) {
        for (std::size_t i = 0; i < clusters_.size(); ++i) {
            for (std::size_t j = i + 1; j < clusters_.size(); ++j) {
                pair(i, j);
            }
        }
    }

    // Merges until at most `free_slots` clusters are not fixed.
    std::vector<Cluster> run(std::size_t free_slots) {
        std::size_t free = 0;
        for (const Cluster& c : clusters_) {
            free += c.kept < 0 ? 1U : 0U;
        }
        // The cluster whose cheapest partner is the cheapest pair of all,
        // the lowest of equals. Each merge's pass finds the next one as it
        // goes, since a list changes only in its own cluster's turn.
        std::size_t a = none;
        const auto consider = [&](std::size_t k) {
            if (near_[k].size == 0) {
                return;
            }
            const float cost = near_[k].list[0].cost;
            if (a == none || cost < near_[a].list[0].cost ||
                (cost == near_[a].list[0].cost && k < a)) {
                a = k;
            }
        };
        for (std::size_t i = 0; i < clusters_.size(); ++i) {
            consider(i);
        }
        while (free > free_slots && a != none) {
            const std::size_t b = near_[a].list[0].with;
            std::size_t keep = std::min(a, b);
            if (clusters_[a].kept >= 0 || clusters_[b].kept >= 0) {
                keep = clusters_[a].kept >= 0 ? a : b;
            }
            const std::size_t gone = keep == a ? b : a;
            clusters_[keep].sum.add(clusters_[gone].sum.cost);
            settle(clusters_[keep], kept_);
            alive_[gone] = 0;
            parent_[gone] = keep;
            --free;

            // Each list forgets the two, learns the merged cluster's cost,
            // and is filled again if it can no longer name its cheapest; the
            // merged cluster's own list is complete only after all of them.
            near_[keep] = Near{};
            a = none;
            for (std::size_t k = 0; k < clusters_.size(); ++k) {
                if (alive_[k] != 0 && k != keep) {
                    near_[k].drop(gone);
                    near_[k].drop(keep);
                    pair(std::min(k, keep), std::max(k, keep), Exact::to_note);
                    if (!near_[k].sure()) {
                        rescan(k);
                    }
                    consider(k);
                }
            }
            if (!near_[keep].sure()) {
                rescan(keep);
            }
            consider(keep);
        }
        std::vector<std::size_t> place(clusters_.size(), none);
        std::vector<Cluster> out;
        for (std::size_t i = 0; i < clusters_.size(); ++i) {
            if (alive_[i] != 0) {
                place[i] = out.size();
                out.push_back(std::move(clusters_[i]));
            }
        }
        for (std::size_t i = 0; i < clusters_.size(); ++i) {
            std::size_t root = i;
            while (parent_[root] != none) {
                root = parent_[root];
            }
            survivor_.push_back(place[root]);
        }
        return out;
    }

    // Where each cluster given ended, as an index into run()'s result.
    const std::vector<std::size_t>& survivors() const { return survivor_; }

  private:
    static constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

    // A cluster's cheapest partners, exactly, and a bound under which no
    // other partner lies; while the cheapest listed is within the bound it
    // is the cheapest of all, so a merge rescans only the clusters whose
    // list ran out.
    struct Near {
        struct Entry {
            float cost;
            std::uint32_t with;
        };
        static constexpr std::size_t size_limit = 32;
        std::array<Entry, size_limit> list{};
        std::size_t size = 0;
        float floor = infinity; // no unlisted partner costs less

        // What a cost must stay under to be listed, and so to need computing
        // exactly.
        float bound() const { return size < size_limit ? infinity : list[size - 1].cost; }
        // What a cost must stay under to change anything here, listed or
        // floor: a cost above both may be a lower bound and have the same
        // effect as the exact one.
        float relevant() const { return std::max(bound(), floor); }
        bool sure() const { return size > 0 && list[0].cost <= floor; }

        void drop(std::size_t with) {
            for (std::size_t i = 0; i < size; ++i) {
                if (list[i].with == with) {
                    std::copy(list.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                              list.begin() + static_cast<std::ptrdiff_t>(size),
                              list.begin() + static_cast<std::ptrdiff_t>(i));
                    --size;
                    return;
                }
            }
        }

        // `cost` is exact when under bound(), else a lower bound.
        void offer(float cost, std::size_t with) {
            if (cost == infinity) {
                return; // two kept tiles never merge
            }
            if (cost >= bound()) {
                floor = std::min(floor, cost);
                return;
            }
            if (size == size_limit) {
                floor = std::min(floor, list[size - 1].cost);
                --size;
            }
            std::size_t at = size;
            while (at > 0 && list[at - 1].cost > cost) {
                list[at] = list[at - 1];
                --at;
            }
            list[at] = {cost, static_cast<std::uint32_t>(with)};
            ++size;
        }
    };

    // The lists' first fill takes lower bounds for their floors; after a
    // merge, a pair must be worked out as far as either list would note it.
    enum class Exact { to_list, to_note };
    void pair(std::size_t i, std::size_t j, Exact exact = Exact::to_list) {
        const auto limit = [exact](const Near& near) {
            return exact == Exact::to_list ? near.bound() : near.relevant();
        };
        const float cost = merge_cost(clusters_[i], clusters_[j], kept_,
                                      std::max(limit(near_[i]), limit(near_[j])));
        near_[i].offer(cost, j);
        near_[j].offer(cost, i);
    }

    void rescan(std::size_t k) {
        near_[k] = Near{};
        for (std::size_t j = 0; j < clusters_.size(); ++j) {
            if (j != k && alive_[j] != 0) {
                near_[k].offer(merge_cost(clusters_[k], clusters_[j], kept_, near_[k].bound()), j);
            }
        }
    }

    std::vector<Cluster> clusters_;
    std::span<const Pattern> kept_;
    std::vector<Near> near_;
    // Apart from the clusters, so that the passes over all of them read a
    // few cache lines for it, not one per cluster.
    std::vector<std::uint8_t> alive_;
    std::vector<std::size_t> parent_;
    std::vector<std::size_t> survivor_;
};

// Moves single cells to other clusters while that lowers the total, each
// cluster's pattern following its cells; this finds what alternating
// assignment and update cannot, since it counts what the cell's leaving
// saves its old cluster's pattern.
void move_cells(std::vector<Cluster>& groups, std::vector<std::size_t>& assigned,
                const std::vector<Item>& items, const std::vector<int>& locked,
                std::span<const Pattern> kept) {
    // Below this a move's gain may be rounding.
    constexpr float least_gain = 1e-3F;
    constexpr int max_sweeps = 20;
    std::vector<std::size_t> members(groups.size(), 0);
    for (const std::size_t g : assigned) {
        ++members[g];
    }
    Cluster single;
    Cluster rest;
    for (int sweep = 0; sweep < max_sweeps; ++sweep) {
        bool moved = false;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::size_t from = assigned[i];
            Cluster& a = groups[from];
            if (locked[i] >= 0 || (a.kept < 0 && members[from] == 1)) {
                continue;
            }
            single.sum.cost = items[i].cost;
            settle(single, kept);
            rest.kept = a.kept;
            for (std::size_t n = 0; n < table; ++n) {
                rest.sum.cost[n] = a.sum.cost[n] - items[i].cost[n];
            }
            settle(rest, kept);
            float saved = 0;
            for (std::size_t px = 0; px < cell_pixels; ++px) {
                saved += a.least[px] - rest.least[px];
            }
            std::size_t to = from;
            float gain = least_gain;
            for (std::size_t g = 0; g < groups.size(); ++g) {
                if (g == from) {
                    continue;
                }
                const float bound = saved - items[i].floor - gain;
                if (bound <= 0) {
                    break;
                }
                const float cost = merge_cost(groups[g], single, kept, bound);
                if (saved - items[i].floor - cost > gain) {
                    gain = saved - items[i].floor - cost;
                    to = g;
                }
            }
            if (to == from) {
                continue;
            }
            a.sum = rest.sum;
            a.least = rest.least;
            groups[to].sum.add(items[i].cost);
            settle(groups[to], kept);
            --members[from];
            ++members[to];
            assigned[i] = to;
            moved = true;
        }
        if (!moved) {
            break;
        }
    }
}

struct Solution {
    std::vector<Pattern> patterns;
    std::vector<double> added;
    double total = 0;
};

// Step 2 for the cells under the given orders; the representatives are the
// kept tiles, then at most budget - kept.size() free patterns.
Solution cluster(std::span<const Cell> cells, std::span<const Pattern> kept, std::size_t budget,
                 const Orders& orders) {
    std::vector<Item> items;
    items.reserve(cells.size());
    for (const Cell& cell : cells) {
        items.push_back(renumbered(cell, orders[cell.palette]));
    }

    // Cells grouped by pattern; a kept tile's cells are its cluster's.
    std::vector<Packed> keys(kept.size());
    std::transform(kept.begin(), kept.end(), keys.begin(), pack);
    std::vector<std::pair<Packed, std::size_t>> by_pattern;
    for (std::size_t i = 0; i < items.size(); ++i) {
        by_pattern.emplace_back(pack(items[i].pattern), i);
    }
    std::sort(by_pattern.begin(), by_pattern.end());
    std::vector<Cluster> clusters(kept.size());
    std::vector<int> locked(items.size(), -1); // the kept tile a cell must keep
    std::vector<std::size_t> home(items.size(), 0);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        clusters[k].kept = static_cast<int>(k);
    }
    for (std::size_t n = 0; n < by_pattern.size();) {
        const Packed key = by_pattern[n].first;
        // The first slot of a tile kept twice holds its cells.
        const auto slot = std::find(keys.begin(), keys.end(), key);
        Cluster* target = nullptr;
        if (slot != keys.end()) {
            target = &clusters[static_cast<std::size_t>(slot - keys.begin())];
        } else {
            target = &clusters.emplace_back();
        }
        for (; n < by_pattern.size() && by_pattern[n].first == key; ++n) {
            const std::size_t i = by_pattern[n].second;
            target->sum.add(items[i].cost);
            home[i] = static_cast<std::size_t>(target - clusters.data());
            if (slot != keys.end()) {
                locked[i] = static_cast<int>(slot - keys.begin());
            }
        }
    }
    for (Cluster& c : clusters) {
        settle(c, kept);
    }

    // The representatives: kept tiles first, then the clusters' patterns.
    Agglomeration agglomeration(std::move(clusters), kept);
    std::vector<Cluster> groups =
        agglomeration.run(budget > kept.size() ? budget - kept.size() : 0);
    std::vector<std::size_t> assigned(items.size(), 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        assigned[i] = agglomeration.survivors()[home[i]];
    }
    move_cells(groups, assigned, items, locked, kept);
    std::vector<Pattern> reps(kept.begin(), kept.end());
    for (const Cluster& c : groups) {
        if (c.kept < 0) {
            reps.push_back(best_pattern(c.sum, Pattern{}));
        }
    }

    // Refinement.
    const std::size_t fixed = kept.size();
    std::vector<float> paid(items.size(), infinity);
    auto choose = [&](std::size_t i) {
        if (locked[i] >= 0) {
            paid[i] = pattern_cost(items[i].cost, reps[assigned[i]], infinity);
            return false;
        }
        std::size_t best = assigned[i];
        float least = pattern_cost(items[i].cost, reps[best], infinity);
        for (std::size_t r = 0; r < reps.size(); ++r) {
            const float cost = pattern_cost(items[i].cost, reps[r], least);
            if (cost < least) {
                least = cost;
                best = r;
            }
        }
        const bool moved = best != assigned[i];
        assigned[i] = best;
        paid[i] = least;
        return moved;
    };
    for (std::size_t i = 0; i < items.size(); ++i) {
        choose(i);
    }
    constexpr int max_rounds = 100;
    for (int round = 0; round < max_rounds; ++round) {
        std::vector<Sum> sums(reps.size());
        std::vector<std::size_t> members(reps.size(), 0);
        for (std::size_t i = 0; i < items.size(); ++i) {
            sums[assigned[i]].add(items[i].cost);
            ++members[assigned[i]];
        }
        std::vector<Packed> seen(keys.begin(), keys.end());
        std::sort(seen.begin(), seen.end());
        std::vector<bool> taken(items.size(), false);
        bool changed = false;
        for (std::size_t r = fixed; r < reps.size(); ++r) {
            if (members[r] > 0) {
                reps[r] = best_pattern(sums[r], reps[r]);
            }
            const Packed key = pack(reps[r]);
            const auto at = std::lower_bound(seen.begin(), seen.end(), key);
            const bool repeated = at != seen.end() && *at == key;
            if (members[r] == 0 || repeated) {
                // The cell that its own best pattern would help most.
                std::size_t gainer = items.size();
                float gain = 0;
                for (std::size_t i = 0; i < items.size(); ++i) {
                    const float g = paid[i] - items[i].floor;
                    if (locked[i] < 0 && !taken[i] && g > gain) {
                        gain = g;
                        gainer = i;
                    }
                }
                if (gainer == items.size()) {
                    continue;
                }
                taken[gainer] = true;
                Sum own;
                own.add(items[gainer].cost);
                reps[r] = best_pattern(own, items[gainer].pattern);
                changed = true;
            }
            seen.insert(std::lower_bound(seen.begin(), seen.end(), pack(reps[r])), pack(reps[r]));
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            changed = choose(i) || changed;
        }
        if (!changed) {
            break;
        }
    }

    Solution out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        out.patterns.push_back(reps[assigned[i]]);
        double own = 0;
        double given = 0;
        for (std::size_t px = 0; px < cell_pixels; ++px) {
            own += items[i].cost[reps[assigned[i]][px] * plane + px];
            given += items[i].cost[items[i].pattern[px] * plane + px];
        }
        out.added.push_back(own - given);
        out.total += own - given;
    }
    return out;
}

std::size_t count_tiles(std::span<const Pattern> patterns, std::span<const Pattern> kept) {
    std::vector<Packed> all(patterns.size());
    std::transform(patterns.begin(), patterns.end(), all.begin(), pack);
    std::vector<Packed> keys(kept.size());
    std::transform(kept.begin(), kept.end(), keys.begin(), pack);
    std::sort(keys.begin(), keys.end());
    return count_distinct(all, keys, kept.size());
}

} // namespace

Pattern pattern_of_tile(std::span<const std::uint8_t, nes::tile_bytes> tile) {
    Pattern out{};
    for (std::size_t px = 0; px < cell_pixels; ++px) {
        const std::size_t row = px / nes::cell_side_px;
        const auto bit = static_cast<unsigned>(nes::cell_side_px - 1 - px % nes::cell_side_px);
        const unsigned low = tile[row];
        const unsigned high = tile[row + nes::cell_side_px];
        out[px] = static_cast<std::uint8_t>((low >> bit & 1U) | (high >> bit & 1U) << 1U);
    }
    return out;
}

Costs cell_costs(std::span<const nes::Lab, cell_pixels> targets, const PaletteLab& palette) {
    std::array<nes::Prepared, cell_pixels> prepared{};
    std::transform(targets.begin(), targets.end(), prepared.begin(), nes::prepare);
    std::array<double, cell_pixels> e{};
    Costs out{};
    for (std::size_t c = 0; c < colours; ++c) {
        nes::delta_e2000(nes::prepare(palette[c]), prepared, e);
        for (std::size_t px = 0; px < cell_pixels; ++px) {
            out[px][c] = static_cast<float>(e[px]);
        }
    }
    return out;
}

Fitted fit(std::span<const Cell> cells, std::span<const Pattern> kept, std::size_t budget,
           const std::array<PaletteLab, sub_palettes>& palettes, Renumbering renumbering) {
    const bool reorder = renumbering == Renumbering::allowed;
    Fitted out;
    Counter counter(cells, kept);
    Orders given;
    given.fill(given_order);
    out.tiles_given = counter.count(given);

    Counted chosen{given, out.tiles_given};
    if (reorder && out.tiles_given > budget) {
        chosen = counter.least();
    }
    out.orders = chosen.orders;
    out.tiles_before = chosen.tiles;
    if (chosen.tiles <= budget) {
        for (const Cell& cell : cells) {
            out.patterns.push_back(renumbered(cell, out.orders[cell.palette]).pattern);
        }
        out.added.assign(cells.size(), 0.0);
        out.tiles_after = chosen.tiles;
        return out;
    }

    // Past some thousands of tiles fitting twice would cost too much time:
    // the lightness orders are taken unless the least count is below theirs.
    constexpr std::size_t fitted_twice = 2048;
    const Orders light = reorder ? lightness_orders(palettes) : given;
    const std::size_t light_tiles = counter.count(light);
    Orders first = chosen.orders;
    if (chosen.tiles > fitted_twice && light_tiles == chosen.tiles) {
        first = light;
    }
    Solution best = cluster(cells, kept, budget, first);
    out.orders = first;
    if (light != first && chosen.tiles <= fitted_twice) {
        Solution other = cluster(cells, kept, budget, light);
        if (other.total < best.total) {
            best = std::move(other);
            out.orders = light;
        }
    }
    out.patterns = std::move(best.patterns);
    out.added = std::move(best.added);
    out.tiles_after = count_tiles(out.patterns, kept);
    out.added_mean =
        cells.empty() ? 0.0 : best.total / static_cast<double>(cells.size() * cell_pixels);
    return out;
}

} // namespace tilebudget
