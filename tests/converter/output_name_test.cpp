#include "convert.hpp"
#include "fileio.hpp"

#include <allegro.h>

#include <gtest/gtest.h>

namespace {

TEST(OutputName, ExtensionOfTheLastComponentIsReplaced) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"title.bmp", "title.chr"},    {"art/title.bmp", "art/title.chr"},
        {"title", "title.chr"},        {"dir.x/pic", "dir.x/pic.chr"},
        {"pic.tar.gz", "pic.tar.chr"}, {"x.", "x.chr"},
        {"/abs/.hidden", "/abs/.chr"}, {"./pic", "./pic.chr"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(tilecut::output_name(path.c_str()), expected) << path;
        // Wherever the library's own rule works, the names agree.
        char library[fileio::max_name + 1];
        replace_extension(library, path.c_str(), "chr", static_cast<int>(sizeof library));
        EXPECT_EQ(tilecut::output_name(path.c_str()), library) << path;
    }
    // Bytes that are not UTF-8 are kept, not turned into '^'.
    EXPECT_EQ(tilecut::output_name("caf\xe9.bmp"), "caf\xe9.chr");
}

TEST(OutputName, NamesThatDoNotFitTheBufferAreRefused) {
    // 1023 characters and the terminator fill the buffer exactly.
    const std::string fits = std::string(1019, 'a') + ".bmp";
    EXPECT_EQ(tilecut::output_name(fits.c_str()).size(), 1023u);
    const std::string too_long = std::string(1020, 'a');
    EXPECT_EQ(tilecut::output_name(too_long.c_str()), "");
    const std::string way_too_long = std::string(3000, 'a') + "/p.bmp";
    EXPECT_EQ(tilecut::output_name(way_too_long.c_str()), "");
}

} // namespace
