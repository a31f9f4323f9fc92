#include "encode.hpp"
#include "reference_decoder.hpp"

#include <e2e.hpp>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace {

using runsquash::Bytes;

Bytes repeat(std::size_t n, std::uint8_t value) {
    return Bytes(n, value);
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

unsigned long counted(const Bytes& input) {
    return runsquash::encode(input, [](std::span<const std::uint8_t>) { return true; }).written;
}

TEST(Encode, KnownInputsGiveExactPackets) {
    Bytes ramp(300);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<std::uint8_t>(i);
    }
    const Bytes ramp_packets = concat(concat(concat(e2e::hex("7E"), slice(ramp, 0, 127)),
                                             concat(e2e::hex("7E"), slice(ramp, 127, 254))),
                                      concat(e2e::hex("2D"), slice(ramp, 254, 300)));
    struct Row {
        const char* name;
        Bytes input;
        Bytes packets;
    };
    const Row rows[] = {
        {"four equal", e2e::hex("05 05 05 05"), e2e::hex("FE 05 00 05")},
        {"three equal at end", e2e::hex("07 07 07"), e2e::hex("02 07 07 07")},
        {"run then literal", e2e::hex("05 05 05 05 09"), e2e::hex("FD 05 00 09")},
        {"all different", e2e::hex("01 02 03"), e2e::hex("02 01 02 03")},
        {"two equal stay literal", e2e::hex("01 01 02"), e2e::hex("02 01 01 02")},
        {"run split at 128", concat(repeat(200, 0), {1}), e2e::hex("81 00 B9 00 00 01")},
        {"leftover joins literal", concat(repeat(130, 0xAA), {1}), e2e::hex("81 AA 02 AA AA 01")},
        {"literals of 127 127 46", ramp, ramp_packets},
        {"empty", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(e2e::to_hex(runsquash::encode(row.input)), e2e::to_hex(row.packets));
        EXPECT_EQ(counted(row.input), row.packets.size());
    }
}

// Runs and literals of lengths around every limit of the packet format; a
// small alphabet makes neighbouring pieces merge and pairs appear. Every
// tenth input is long enough to cross the encoder's output blocks.
Bytes awkward_input(unsigned seed) {
    static const std::size_t lengths[] = {1, 2, 3, 4, 127, 128, 129, 130, 131, 255, 256, 257};
    std::mt19937 rng(seed);
    const auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const auto byte = [&] { return static_cast<std::uint8_t>(pick(3) == 0 ? rng() : rng() % 3); };
    Bytes in;
    const std::size_t pieces = seed % 10 == 0 ? 1000 : 1 + pick(30);
    for (std::size_t p = 0; p < pieces; ++p) {
        const std::size_t n = lengths[pick(std::size(lengths))];
        if (pick(2) == 0) {
            in.insert(in.end(), n, byte());
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                in.push_back(byte());
            }
        }
    }
    return in;
}

TEST(Encode, RoundTripsAwkwardRunsAndLiterals) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Bytes in = awkward_input(seed);
        const Bytes packets = runsquash::encode(in);
        // The decoder also rejects the headers that are never written.
        const auto decoded = runsquash_test::decode_packets(packets);
        ASSERT_TRUE(decoded.has_value());
        ASSERT_EQ(*decoded, in);
        ASSERT_EQ(counted(in), packets.size());
        ASSERT_EQ(packets, runsquash_test::reference_encode(in));
    }
}

// The encoder looks for three equal bytes eight positions at a time. Put
// a run of three or four at every offset of inputs of every short length,
// over backgrounds of pairs and near-misses that would fool a careless
// word-wise test, and near the end of the input, where runs are cut short.
TEST(Encode, RunsAtEveryOffsetMatchTheOracle) {
    const Bytes backgrounds[] = {
        e2e::hex("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"),
        e2e::hex("05 05 06 06 05 05 06 06 05 05 06 06 05 05 06 06"),
        e2e::hex("00 00 01 00 00 01 80 80 7F 7F 80 80 FF FF 00 FF"),
    };
    for (const Bytes& background : backgrounds) {
        for (std::size_t length = 1; length <= 40; ++length) {
            for (std::size_t at = 0; at < length; ++at) {
                for (const std::size_t run : {std::size_t{3}, std::size_t{4}}) {
                    Bytes in(length);
                    for (std::size_t i = 0; i < length; ++i) {
                        in[i] = background[i % background.size()];
                    }
                    for (std::size_t i = at; i < std::min(length, at + run); ++i) {
                        in[i] = 0xAA;
                    }
                    SCOPED_TRACE(e2e::to_hex(in));
                    ASSERT_EQ(runsquash::encode(in), runsquash_test::reference_encode(in));
                }
            }
        }
    }
}

// Blocks are cut at whole 64 KiB of the destination, packets straddling the
// cuts, whatever the offset the stream starts at.
TEST(Encode, BlocksEndOnWholeBlocksOfTheDestination) {
    Bytes in;
    for (unsigned seed = 10; seed <= 80; seed += 10) {
        in = concat(in, awkward_input(seed));
    }
    const Bytes whole = runsquash::encode(in);
    ASSERT_GT(whole.size(), 3 * 65536U);
    for (const std::size_t offset : {std::size_t{0}, std::size_t{2}, std::size_t{65537}}) {
        SCOPED_TRACE(offset);
        Bytes joined;
        std::size_t at = offset;
        const auto result = runsquash::encode(
            in,
            [&](std::span<const std::uint8_t> block) {
                joined.insert(joined.end(), block.begin(), block.end());
                at += block.size();
                return joined.size() == whole.size() || at % 65536 == 0;
            },
            offset);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.written, whole.size());
        EXPECT_EQ(joined, whole);
    }
}

TEST(Encode, FileStreamGetsTheSameBytesAndReportsWriteFailure) {
    const Bytes in = awkward_input(10);
    const Bytes expected = runsquash::encode(in);
    std::FILE* tmp = std::tmpfile();
    ASSERT_NE(tmp, nullptr);
    const runsquash::EncodeResult result = runsquash::encode(in, tmp);
    Bytes back(expected.size() + 1);
    std::rewind(tmp);
    back.resize(std::fread(back.data(), 1, back.size(), tmp));
    std::fclose(tmp);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.written, expected.size());
    EXPECT_EQ(back, expected);

    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "no /dev/full";
    }
    errno = 0;
    const runsquash::EncodeResult failed = runsquash::encode(in, full);
    const int error = errno;
    std::fclose(full);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(error, ENOSPC);
}

} // namespace
