# The tile budget works on cells already fitted to their palettes, in a
# library of its own, so that the optimiser, the benchmark and the tests all
# call the same code.
add_library(fit_tiles STATIC ${CMAKE_CURRENT_LIST_DIR}/tiles.cpp)
target_include_directories(fit_tiles PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# The budget's limit is the folding's number of slots.
target_link_libraries(fit_tiles PUBLIC nes tilefold_core)
