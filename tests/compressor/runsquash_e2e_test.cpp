#include "reference_decoder.hpp"

#include <e2e.hpp>
#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using e2e::Bytes;

// Slot numbers with the long runs of a typical screen.
Bytes name_table(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes bytes;
    while (bytes.size() < n) {
        bytes.insert(bytes.end(), std::min<std::size_t>(1 + rng() % 40, n - bytes.size()),
                     static_cast<std::uint8_t>(rng() % 16));
    }
    return bytes;
}

TEST(Runsquash, WritesHeaderPacketsAndProgress) {
    struct Row {
        std::size_t size;
        const char* header;
        const char* warning;
    };
    const Row rows[] = {
        {0, "00 00", ""},
        {960, "03 C0", ""},
        {1024, "04 00", ""},
        {65535, "FF FF", ""},
        {65536, "00 00",
         "runsquash warning: in.nam is 65536 bytes, but the length header holds only the low 16 "
         "bits of the size (0)\n"},
        {70000, "11 70",
         "runsquash warning: in.nam is 70000 bytes, but the length header holds only the low 16 "
         "bits of the size (4464)\n"},
        // Big enough for the buffer to be rounded up to whole 2 MiB pages.
        {(3UL << 20) + 5, "00 05",
         "runsquash warning: in.nam is 3145733 bytes, but the length header holds only the low "
         "16 bits of the size (5)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        e2e::Scratch dir;
        const Bytes in = name_table(row.size, 7);
        e2e::write_file(dir / "in.nam", in);
        const e2e::Result r = e2e::run(RUNSQUASH_BIN, {"in.nam", "out.rlz"}, dir.dir());
        const Bytes packets = runsquash_test::reference_encode(in);
        Bytes expected = e2e::hex(row.header);
        expected.insert(expected.end(), packets.begin(), packets.end());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "reading " + std::to_string(row.size) + " bytes\ncompressed to " +
                             std::to_string(packets.size()) + " bytes.\n");
        EXPECT_EQ(r.err, row.warning);
        EXPECT_EQ(e2e::read_file(dir / "out.rlz"), expected);
    }
}

} // namespace
