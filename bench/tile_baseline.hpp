// The plain way to squeeze a picture into fewer tiles, which the tile budget
// is measured against: merge the two patterns that differ in the fewest
// pixels until few enough remain, and give their cells the pattern of the
// two that more cells use.
#pragma once

#include "tiles.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace bench {

// One pattern per cell, at most `budget` (1 or more) of them distinct. Of
// pairs equally close, the one whose patterns first appear earliest among
// the cells merges first; of two patterns used by as many cells, the one
// that appears first stays.
std::vector<tilebudget::Pattern> plain_merge(std::span<const tilebudget::Pattern> cells,
                                             std::size_t budget);

} // namespace bench
