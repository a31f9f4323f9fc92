// How the backdrop and the sub-palettes are chosen.
//
// The error of an area under a backdrop b and a sub-palette {s1, s2, s3} is
// the sum over its pixels of the least of the four distances, each pixel
// taking the nearest of the four colours. Every distinct colour's distance to
// all 54 candidates is computed once (problem.cpp), and an area is a
// histogram of colours, so an area's error costs one pass over its distinct
// colours with no colour science.
//
// First an exact phase. With every pixel at its nearest candidate the error
// is the bound, which nothing beats; the question is only whether the sets
// of nearest candidates of the areas can be packed. For each backdrop (the
// fixed one, or every candidate, the most used first) each area needs the
// set of its nearest candidates less the backdrop, at most three; the sets
// that are not inside another are placed by backtracking into four
// sub-palettes of three. No more than 12 such sets can fit, and each is
// tried in at most four places, the first empty one among them, so the
// backtracking is complete and small. When it succeeds the answer is
// optimal: a legal picture comes back as it was, whatever the order of its
// palettes and under any colour table, and so does any picture whose
// nearest colours obey the area rule.
//
// Otherwise a local search, for each of a few backdrops (the candidates
// nearest to most pixels):
//   - seeding by splitting: one sub-palette is fitted to every area, then a
//     second is started from the best colours of the area that the current
//     palettes serve worst (its error above its own bound), and so on to
//     four;
//   - alternation to a fixed point: each area takes the sub-palette that
//     costs it least, then each sub-palette whose areas changed is refitted
//     to them by trying all 54 candidates in each of its three slots and
//     making the best single change, until none lowers the error;
//   - a second start from the nine candidates most pixels are nearest to:
//     of all their sets of three, four are chosen greedily for the areas'
//     total error and then exchanged one at a time while that lowers it
//     (pictures of few colours, grays above all, are solved by this almost
//     outright), and alternated as above;
//   - each start then leaves the alternation's fixed point by exchanges: a
//     slot's change is judged on every area, each taking whichever
//     sub-palette then serves it best. The alternation refits a sub-palette
//     to the areas it has, so it never sees a change that would win areas
//     from the others; on the corpus such changes took a seventh off the
//     portrait's excess over the bound and a twentieth off painted screens';
//   - then, from the better of the two starts, restarts of one sub-palette
//     at a time, deterministic: each in turn is dropped and started again
//     from the area served worst without it; the change is kept if the
//     alternation then ends lower, and the round is repeated while one is
//     kept.
// The best answer over the backdrops is then tried under every other
// backdrop with its sub-palettes fixed; a better backdrop is taken and the
// alternation and the restarts of single sub-palettes run again.
//
// What is left is mostly the area rule itself, not the search: 150 random
// changes of up to three slots, each followed by alternation and exchanges,
// bettered this search by 0.02 at most on the screens of most excess, at ten
// times the time, while four colours chosen freely for each area alone, with
// no sub-palette shared, would still leave 0.16 of the corpus's mean excess
// over the bound of 0.35 today.
//
// Every loop of the search asks how much nearer a candidate would serve a
// colour than what serves it now. Only nearer candidates count, and they are
// nearly always among the colour's few nearest, kept in order for each
// colour; the whole row of 54 is read only when they are not. The sums are
// the same as over the whole row, so the answer does not depend on it.
//
// Errors are integers (problem.hpp) and every loop runs in a fixed order
// with ties going to the lower area, palette, slot or candidate, so the same
// input gives the same answer on every machine.
#include "problem.hpp"

#include <algorithm>
#include <bit>
#include <numeric>

namespace tilefit::detail {

namespace {

using Set = std::array<Slot, 3>;
using Mask = std::uint64_t;

// Measured on the corpus of bench/README.md: five backdrops instead of
// three, the areas' own sets among the second start's, or exchanges after
// every restart of one sub-palette each lowered the mean error by 0.001 or
// less at a quarter to twice the time; without the restarts it rose by 0.2.
// Sixteen nearest candidates kept for each colour leave the whole row to one
// gain in thirteen on frozen-bubble-2, whose colours are far from its
// sub-palettes; eight left one in five and took an eighth more time.
constexpr int backdrop_tries = 3;
constexpr int alternation_limit = 50;
constexpr int perturbation_rounds = 2;
constexpr std::size_t medoid_colours = 9;
constexpr std::size_t near_count = 16;

Mask bit(Slot slot) {
    return Mask{1} << slot;
}

// ---- The exact phase ------------------------------------------------------

class Packer {
  public:
    explicit Packer(std::vector<Mask> needs) : needs_(std::move(needs)) {}

    bool pack() { return place(0); }
    const std::array<Mask, nes::subpalette_count>& palettes() const { return palettes_; }

  private:
    bool place(std::size_t i) {
        if (i == needs_.size()) {
            return true;
        }
        for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
            const Mask joined = palettes_[p] | needs_[i];
            if (std::popcount(joined) <= 3) {
                const Mask before = palettes_[p];
                palettes_[p] = joined;
                if (place(i + 1)) {
                    return true;
                }
                palettes_[p] = before;
            }
            // Empty sub-palettes are alike: trying the first is enough.
            if (palettes_[p] == 0) {
                break;
            }
        }
        return false;
    }

    std::vector<Mask> needs_;
    std::array<Mask, nes::subpalette_count> palettes_{};
};

Set set_of(Mask mask, Slot filler) {
    Set set{filler, filler, filler};
    std::size_t i = 0;
    for (; mask != 0; mask &= mask - 1) {
        set[i++] = static_cast<Slot>(std::countr_zero(mask));
    }
    return set;
}

std::optional<Solution> exact(const Problem& problem, const std::vector<Mask>& nearest_sets,
                              Slot backdrop) {
    std::vector<Mask> needs;
    for (Mask set : nearest_sets) {
        const Mask need = set & ~bit(backdrop);
        if (std::popcount(need) > 3) {
            return std::nullopt;
        }
        if (need != 0) {
            needs.push_back(need);
        }
    }
    // The largest first, and only those not inside another.
    std::sort(needs.begin(), needs.end(), [](Mask x, Mask y) {
        return std::popcount(x) != std::popcount(y) ? std::popcount(x) > std::popcount(y) : x < y;
    });
    needs.erase(std::unique(needs.begin(), needs.end()), needs.end());
    std::vector<Mask> maximal;
    for (Mask need : needs) {
        if (std::none_of(maximal.begin(), maximal.end(),
                         [&](Mask m) { return (m & need) == need; })) {
            maximal.push_back(need);
        }
    }
    if (maximal.size() > 3 * nes::subpalette_count) {
        return std::nullopt;
    }
    Packer packer(std::move(maximal));
    if (!packer.pack()) {
        return std::nullopt;
    }
    Solution solution;
    solution.backdrop = backdrop;
    for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
        solution.sub[p] = set_of(packer.palettes()[p], backdrop);
    }
    solution.area_palette.resize(problem.areas(), 0);
    for (std::size_t a = 0; a < problem.areas(); ++a) {
        const Mask need = nearest_sets[a] & ~bit(backdrop);
        for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
            if ((packer.palettes()[p] & need) == need) {
                solution.area_palette[a] = static_cast<std::uint8_t>(p);
                break;
            }
        }
    }
    return solution;
}

// ---- The local search -----------------------------------------------------

class Local {
  public:
    explicit Local(const Problem& problem)
        : problem_(problem), ideal_(problem.areas(), 0), near_(problem.nearest.size()) {
        for (std::size_t a = 0; a < problem.areas(); ++a) {
            for (const Entry& e : entries(a)) {
                ideal_[a] += Cost{e.count} * problem.row(e.colour)[problem.nearest[e.colour]];
            }
        }
        // Keys of distance then slot sort as the nearest first, the lower of
        // equals, with no look-up in the row.
        std::array<std::uint32_t, candidate_count> keys{};
        for (std::size_t c = 0; c < near_.size(); ++c) {
            const Distance* row = problem.row(static_cast<std::uint32_t>(c));
            for (std::size_t k = 0; k < candidate_count; ++k) {
                keys[k] = std::uint32_t{row[k]} << 8 | static_cast<std::uint32_t>(k);
            }
            std::partial_sort(keys.begin(), keys.begin() + near_count, keys.end());
            for (std::size_t i = 0; i < near_count; ++i) {
                near_[c][i] = static_cast<Slot>(keys[i] & 0xFF);
            }
        }
    }

    // The best answer found from scratch under backdrop `b`.
    Solution from_scratch(Slot b) {
        Solution s = seeded(b);
        Solution m = medoids(b);
        exchange(s);
        exchange(m);
        Solution& best = m.cost < s.cost ? m : s;
        perturb(best);
        return best;
    }

    // Every area under the sub-palette that serves it best.
    void assign(Solution& s, std::uint8_t* changed = nullptr) {
        s.area_palette.resize(problem_.areas(), 0);
        costs_.resize(problem_.areas());
        s.cost = 0;
        std::uint8_t moved = 0;
        for (std::size_t a = 0; a < problem_.areas(); ++a) {
            std::uint8_t best = 0;
            Cost best_cost = 0;
            for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
                const Cost c = area_cost(a, s.backdrop, s.sub[p]);
                if (p == 0 || c < best_cost) {
                    best = static_cast<std::uint8_t>(p);
                    best_cost = c;
                }
            }
            if (best != s.area_palette[a]) {
                moved = static_cast<std::uint8_t>(moved | 1U << best | 1U << s.area_palette[a]);
            }
            s.area_palette[a] = best;
            costs_[a] = best_cost;
            s.cost += best_cost;
        }
        if (changed != nullptr) {
            *changed = moved;
        }
    }

    // Alternation to a fixed point, then the perturbations.
    void polish(Solution& s) {
        alternate(s, 0x0F);
        perturb(s);
    }

    // The backdrop that serves `s`'s sub-palettes best, the current one on a tie.
    Slot best_backdrop(const Solution& s) const {
        std::array<Cost, candidate_count> total{};
        for (std::size_t a = 0; a < problem_.areas(); ++a) {
            std::array<Cost, nes::subpalette_count> base{};
            std::array<std::array<Cost, candidate_count>, nes::subpalette_count> gain{};
            for (const Entry& e : entries(a)) {
                const Distance* row = problem_.row(e.colour);
                for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
                    const Distance m =
                        std::min({row[s.sub[p][0]], row[s.sub[p][1]], row[s.sub[p][2]]});
                    gain_of(e, row, m, base[p], gain[p]);
                }
            }
            for (std::size_t k = 0; k < candidate_count; ++k) {
                Cost least = base[0] - gain[0][k];
                for (std::size_t p = 1; p < nes::subpalette_count; ++p) {
                    least = std::min(least, base[p] - gain[p][k]);
                }
                total[k] += least;
            }
        }
        Slot best = s.backdrop;
        for (std::size_t k = 0; k < candidate_count; ++k) {
            if (total[k] < total[best]) {
                best = static_cast<Slot>(k);
            }
        }
        return best;
    }

    Cost bound() const { return std::accumulate(ideal_.begin(), ideal_.end(), Cost{0}); }

  private:
    std::span<const Entry> entries(std::size_t a) const {
        return {problem_.entries.data() + problem_.area_start[a],
                problem_.entries.data() + problem_.area_start[a + 1]};
    }

    Cost area_cost(std::size_t a, Slot b, const Set& set) const {
        Cost total = 0;
        for (const Entry& e : entries(a)) {
            const Distance* row = problem_.row(e.colour);
            total += Cost{e.count} * std::min({row[b], row[set[0]], row[set[1]], row[set[2]]});
        }
        return total;
    }

    // What a colour would gain if one more candidate k joined colours that
    // serve it at distance m: n times how much nearer k is, for each k.
    // Only candidates nearer than m gain, and those are nearly always among
    // the colour's few nearest, so the full row is read only when they are
    // not. `base` takes n m.
    template <typename Gain>
    void gain_of(const Entry& e, const Distance* row, Distance m, Cost& base,
                 std::array<Gain, candidate_count>& gain, Mask* touched = nullptr) const {
        const std::uint32_t n = e.count;
        const std::array<Slot, near_count>& near = near_[e.colour];
        base += Cost{n} * m;
        const auto add = [&](std::size_t k) {
            gain[k] += static_cast<Gain>(n * std::uint32_t{Distance(m - row[k])});
            if (touched != nullptr) {
                *touched |= Mask{1} << k;
            }
        };
        if (row[near.back()] < m) {
            for (std::size_t k = 0; k < candidate_count; ++k) {
                if (row[k] < m) {
                    add(k);
                }
            }
            return;
        }
        for (Slot k : near) {
            if (row[k] >= m) {
                return;
            }
            add(k);
        }
    }

    // The gains of a colour for each slot j of `set` in turn becoming
    // candidate k, and in `touched[j]` the candidates that gain. Returns the
    // colour's error under `set` as it is.
    template <typename Gain>
    Cost gains(const Entry& e, Slot b, const Set& set, std::array<Cost, 3>& base,
               std::array<std::array<Gain, candidate_count>, 3>& gain,
               Mask* touched = nullptr) const {
        const Distance* row = problem_.row(e.colour);
        const Distance d0 = row[set[0]];
        const Distance d1 = row[set[1]];
        const Distance d2 = row[set[2]];
        const Distance db = row[b];
        const std::array<Distance, 3> without = {std::min({db, d1, d2}), std::min({db, d0, d2}),
                                                 std::min({db, d0, d1})};
        for (std::size_t j = 0; j < 3; ++j) {
            gain_of(e, row, without[j], base[j], gain[j],
                    touched == nullptr ? nullptr : touched + j);
        }
        return Cost{e.count} * std::min({db, d0, d1, d2});
    }

    // The best single change of a slot to a candidate, by the errors
    // `with[j][k]` it would give; {3, 0} when none is below `now`.
    static std::pair<std::size_t, std::size_t>
    best_change(const std::array<std::array<Cost, candidate_count>, 3>& with, Cost now) {
        Cost best = now;
        std::pair<std::size_t, std::size_t> change{3, 0};
        for (std::size_t j = 0; j < 3; ++j) {
            for (std::size_t k = 0; k < candidate_count; ++k) {
                if (with[j][k] < best) {
                    best = with[j][k];
                    change = {j, k};
                }
            }
        }
        return change;
    }

    // Refits one set against the given areas: the best single change of a
    // slot to any candidate, again and again until none lowers the error.
    void refit(Slot b, Set& set, std::span<const std::uint32_t> areas) const {
        for (;;) {
            std::array<Cost, 3> base{};
            std::array<std::array<Cost, candidate_count>, 3> gain{};
            Cost now = 0;
            for (std::uint32_t a : areas) {
                for (const Entry& e : entries(a)) {
                    now += gains(e, b, set, base, gain);
                }
            }
            std::array<std::array<Cost, candidate_count>, 3> with{};
            for (std::size_t j = 0; j < 3; ++j) {
                for (std::size_t k = 0; k < candidate_count; ++k) {
                    with[j][k] = base[j] - gain[j][k];
                }
            }
            const auto [j, k] = best_change(with, now);
            if (j == 3) {
                return;
            }
            set[j] = static_cast<Slot>(k);
        }
    }

    // Changes of one slot of one sub-palette judged on every area, each
    // taking whichever sub-palette then serves it best. The alternation's
    // refit judges a change on the sub-palette's own areas only, so it never
    // sees one that wins areas from the others; this does. The best change
    // of each sub-palette in turn is made until none lowers the total.
    // `s` must be assigned, and is again after.
    void exchange(Solution& s) {
        const std::size_t areas = problem_.areas();
        constexpr std::size_t subs = nes::subpalette_count;
        std::vector<Cost> per(areas * subs);
        for (std::size_t a = 0; a < areas; ++a) {
            for (std::size_t q = 0; q < subs; ++q) {
                per[a * subs + q] = area_cost(a, s.backdrop, s.sub[q]);
            }
        }
        for (std::size_t p = 0, quiet = 0; quiet < subs; p = (p + 1) % subs) {
            Cost now = 0;
            Cost settled = 0; // the areas that stay where they are whatever p becomes
            std::array<Cost, 3> unchanged{};
            std::array<std::array<Cost, candidate_count>, 3> less{};
            for (std::size_t a = 0; a < areas; ++a) {
                Cost other = ~Cost{0};
                for (std::size_t q = 0; q < subs; ++q) {
                    if (q != p) {
                        other = std::min(other, per[a * subs + q]);
                    }
                }
                now += std::min(other, per[a * subs + p]);
                // No change of p can serve an area better than its bound.
                if (other <= ideal_[a]) {
                    settled += other;
                    continue;
                }
                std::array<Cost, 3> base{};
                std::array<std::array<std::uint32_t, candidate_count>, 3> gain{};
                std::array<Mask, 3> touched{};
                for (const Entry& e : entries(a)) {
                    gains(e, s.backdrop, s.sub[p], base, gain, touched.data());
                }
                // The candidates that gain nothing leave the area at
                // min(other, base); the few that gain are told apart.
                for (std::size_t j = 0; j < 3; ++j) {
                    const Cost flat = std::min(other, base[j]);
                    unchanged[j] += flat;
                    for (Mask m = touched[j]; m != 0; m &= m - 1) {
                        const auto k = static_cast<std::size_t>(std::countr_zero(m));
                        less[j][k] += flat - std::min(other, base[j] - gain[j][k]);
                    }
                }
            }
            std::array<std::array<Cost, candidate_count>, 3> with{};
            for (std::size_t j = 0; j < 3; ++j) {
                for (std::size_t k = 0; k < candidate_count; ++k) {
                    with[j][k] = settled + unchanged[j] - less[j][k];
                }
            }
            const auto [j, k] = best_change(with, now);
            if (j == 3) {
                ++quiet;
                continue;
            }
            quiet = 0;
            s.sub[p][j] = static_cast<Slot>(k);
            for (std::size_t a = 0; a < areas; ++a) {
                per[a * subs + p] = area_cost(a, s.backdrop, s.sub[p]);
            }
        }
        assign(s);
    }

    std::vector<std::uint32_t> areas_of(const Solution& s, std::size_t p) const {
        std::vector<std::uint32_t> list;
        for (std::size_t a = 0; a < s.area_palette.size(); ++a) {
            if (s.area_palette[a] == p) {
                list.push_back(static_cast<std::uint32_t>(a));
            }
        }
        return list;
    }

    // The area served worst, by its error above its own bound; the first of
    // equals.
    std::size_t worst_area() const {
        std::size_t worst = 0;
        for (std::size_t a = 1; a < costs_.size(); ++a) {
            if (costs_[a] - ideal_[a] > costs_[worst] - ideal_[worst]) {
                worst = a;
            }
        }
        return worst;
    }

    // A set of three for one area alone: its most used nearest candidates,
    // refitted.
    Set own_set(Slot b, std::size_t a) const {
        std::array<Cost, candidate_count> use{};
        for (const Entry& e : entries(a)) {
            use[problem_.nearest[e.colour]] += e.count;
        }
        use[b] = 0;
        Set set{b, b, b};
        for (Slot& slot : set) {
            const auto most =
                static_cast<std::size_t>(std::max_element(use.begin(), use.end()) - use.begin());
            if (use[most] > 0) {
                slot = static_cast<Slot>(most);
                use[most] = 0;
            }
        }
        const std::uint32_t only[] = {static_cast<std::uint32_t>(a)};
        refit(b, set, only);
        return set;
    }

    // `s.cost` and the areas' errors must be those of its assignment.
    void alternate(Solution& s, std::uint8_t dirty) {
        for (int i = 0; i < alternation_limit && dirty != 0; ++i) {
            const Cost before = s.cost;
            for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
                if ((dirty & 1U << p) != 0) {
                    const std::vector<std::uint32_t> list = areas_of(s, p);
                    if (!list.empty()) {
                        refit(s.backdrop, s.sub[p], list);
                    }
                }
            }
            assign(s, &dirty);
            // A sub-palette no area takes is started again where it helps most.
            for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
                if (areas_of(s, p).empty() && s.cost > 0) {
                    s.sub[p] = own_set(s.backdrop, worst_area());
                    assign(s, &dirty);
                    dirty = static_cast<std::uint8_t>(dirty | 1U << p);
                }
            }
            if (s.cost >= before) {
                break;
            }
        }
    }

    Solution seeded(Slot b) {
        Solution s;
        s.backdrop = b;
        std::array<Cost, candidate_count> use{};
        for (const Entry& e : problem_.entries) {
            use[problem_.nearest[e.colour]] += e.count;
        }
        use[b] = 0;
        Set first{b, b, b};
        for (Slot& slot : first) {
            const auto most =
                static_cast<std::size_t>(std::max_element(use.begin(), use.end()) - use.begin());
            if (use[most] > 0) {
                slot = static_cast<Slot>(most);
                use[most] = 0;
            }
        }
        s.sub.fill(first);
        s.area_palette.assign(problem_.areas(), 0);
        std::vector<std::uint32_t> all(problem_.areas());
        std::iota(all.begin(), all.end(), 0U);
        refit(b, s.sub[0], all);
        s.sub.fill(s.sub[0]);
        assign(s);
        for (std::size_t p = 1; p < nes::subpalette_count; ++p) {
            s.sub[p] = own_set(b, worst_area());
            std::uint8_t dirty = 0;
            assign(s, &dirty);
            alternate(s, static_cast<std::uint8_t>(dirty | 1U << p));
        }
        return s;
    }

    // The four sets of three of the most used candidates that serve the
    // areas best, by exchanges of one set at a time from a greedy choice.
    Solution medoids(Slot b) {
        std::array<Cost, candidate_count> use{};
        for (const Entry& e : problem_.entries) {
            use[problem_.nearest[e.colour]] += e.count;
        }
        use[b] = 0;
        std::vector<Slot> most;
        for (std::size_t k = 0; k < candidate_count; ++k) {
            if (use[k] > 0) {
                most.push_back(static_cast<Slot>(k));
            }
        }
        std::stable_sort(most.begin(), most.end(), [&](Slot x, Slot y) { return use[x] > use[y]; });
        most.resize(std::min(most.size(), medoid_colours));
        while (most.size() < 3) {
            most.push_back(b);
        }
        std::vector<Set> sets;
        for (std::size_t i = 0; i < most.size(); ++i) {
            for (std::size_t j = i + 1; j < most.size(); ++j) {
                for (std::size_t k = j + 1; k < most.size(); ++k) {
                    sets.push_back({most[i], most[j], most[k]});
                }
            }
        }
        const std::size_t areas = problem_.areas();
        // Every set's error in each area, in one pass over its colours: the
        // sets are in the order of the loops above, so each colour's least
        // distance is built up one candidate at a time.
        std::vector<Cost> cost(sets.size() * areas);
        for (std::size_t a = 0; a < areas; ++a) {
            for (const Entry& e : entries(a)) {
                const Distance* row = problem_.row(e.colour);
                std::size_t t = 0;
                for (std::size_t i = 0; i < most.size(); ++i) {
                    const Distance mi = std::min(row[b], row[most[i]]);
                    for (std::size_t j = i + 1; j < most.size(); ++j) {
                        const Distance mj = std::min(mi, row[most[j]]);
                        for (std::size_t k = j + 1; k < most.size(); ++k, ++t) {
                            cost[t * areas + a] += Cost{e.count} * std::min(mj, row[most[k]]);
                        }
                    }
                }
            }
        }
        const auto total_with = [&](const std::array<std::size_t, 4>& chosen, std::size_t n) {
            Cost total = 0;
            for (std::size_t a = 0; a < areas; ++a) {
                Cost least = cost[chosen[0] * areas + a];
                for (std::size_t i = 1; i < n; ++i) {
                    least = std::min(least, cost[chosen[i] * areas + a]);
                }
                total += least;
            }
            return total;
        };
        std::array<std::size_t, 4> chosen{};
        Cost best = 0;
        for (std::size_t n = 1; n <= nes::subpalette_count; ++n) {
            for (std::size_t t = 0; t < sets.size(); ++t) {
                chosen[n - 1] = t;
                const Cost total = total_with(chosen, n);
                if (t == 0 || total < best) {
                    best = total;
                }
            }
            for (std::size_t t = 0; t < sets.size(); ++t) {
                chosen[n - 1] = t;
                if (total_with(chosen, n) == best) {
                    break;
                }
            }
        }
        for (bool better = true; better;) {
            better = false;
            for (std::size_t i = 0; i < nes::subpalette_count; ++i) {
                for (std::size_t t = 0; t < sets.size(); ++t) {
                    std::array<std::size_t, 4> trial = chosen;
                    trial[i] = t;
                    const Cost total = total_with(trial, nes::subpalette_count);
                    if (total < best) {
                        best = total;
                        chosen = trial;
                        better = true;
                    }
                }
            }
        }
        Solution s;
        s.backdrop = b;
        for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
            s.sub[p] = sets[chosen[p]];
        }
        assign(s);
        alternate(s, 0x0F);
        return s;
    }

    void perturb(Solution& s) {
        for (int round = 0; round < perturbation_rounds; ++round) {
            bool better = false;
            for (std::size_t p = 0; p < nes::subpalette_count; ++p) {
                Solution trial = s;
                // Without p: its areas go to the others, and p restarts from
                // the area they then serve worst.
                trial.sub[p] = trial.sub[(p + 1) % nes::subpalette_count];
                assign(trial);
                trial.sub[p] = own_set(trial.backdrop, worst_area());
                std::uint8_t dirty = 0;
                assign(trial, &dirty);
                alternate(trial, static_cast<std::uint8_t>(dirty | 1U << p));
                if (trial.cost < s.cost) {
                    s = std::move(trial);
                    better = true;
                }
            }
            if (!better) {
                break;
            }
        }
        // The areas' errors of `s` itself, for whoever asks next.
        assign(s);
    }

    const Problem& problem_;
    std::vector<Cost> ideal_;
    std::vector<Cost> costs_; // each area's error under the last assignment
    // Each colour's nearest candidates, nearest first, the lower of equals.
    std::vector<std::array<Slot, near_count>> near_;
};

} // namespace

Solution search(const Problem& problem, const SearchLimits& limits) {
    Local local(problem);
    if (limits.imposed) {
        Solution s = *limits.imposed;
        local.assign(s);
        return s;
    }

    std::vector<Mask> nearest_sets(problem.areas(), 0);
    std::array<Cost, candidate_count> use{};
    for (std::size_t a = 0; a < problem.areas(); ++a) {
        for (std::uint32_t i = problem.area_start[a]; i < problem.area_start[a + 1]; ++i) {
            const Entry& e = problem.entries[i];
            nearest_sets[a] |= bit(problem.nearest[e.colour]);
            use[problem.nearest[e.colour]] += e.count;
        }
    }
    // Backdrops in order of use, then black (or the lowest unused) standing
    // for all the unused ones, which are alike to the exact phase.
    std::vector<Slot> order;
    if (limits.backdrop) {
        order.push_back(*limits.backdrop);
    } else {
        for (std::size_t k = 0; k < candidate_count; ++k) {
            if (use[k] > 0) {
                order.push_back(static_cast<Slot>(k));
            }
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](Slot x, Slot y) { return use[x] > use[y]; });
        const Slot black = problem.candidates.slot_of[nes::black];
        Slot unused = use[black] == 0 ? black : no_slot;
        for (std::size_t k = 0; k < candidate_count && unused == no_slot; ++k) {
            if (use[k] == 0) {
                unused = static_cast<Slot>(k);
            }
        }
        if (unused != no_slot) {
            order.push_back(unused);
        }
    }
    for (Slot b : order) {
        if (std::optional<Solution> s = exact(problem, nearest_sets, b)) {
            s->cost = local.bound();
            return *s;
        }
    }

    Solution best;
    const std::size_t tries = std::min<std::size_t>(order.size(), backdrop_tries);
    for (std::size_t i = 0; i < tries; ++i) {
        Solution s = local.from_scratch(order[i]);
        if (i == 0 || s.cost < best.cost) {
            best = std::move(s);
        }
    }
    if (!limits.backdrop) {
        for (int round = 0; round < 3; ++round) {
            const Slot b = local.best_backdrop(best);
            if (b == best.backdrop) {
                break;
            }
            Solution s = best;
            s.backdrop = b;
            local.assign(s);
            local.polish(s);
            if (s.cost >= best.cost) {
                break;
            }
            best = std::move(s);
        }
    }
    return best;
}

} // namespace tilefit::detail
