// Runs the 6502 decoder in cc65's simulator on streams that the real
// runsquash wrote, and on damaged ones, through the harness in decoder/sim.
#include <e2e.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using e2e::Bytes;

bool have_cc65() {
    const std::string sim = SIM65_BIN;
    const std::string harness = UNRLE_SIM;
    return !sim.empty() && !harness.empty() && fs::exists(sim) && fs::exists(harness);
}

#define REQUIRE_CC65()                                                                             \
    if (!have_cc65()) {                                                                            \
        GTEST_SKIP() << "cc65 (cl65, sim65) is not installed: install the Debian package cc65";    \
    }

Bytes squash(const Bytes& input) {
    e2e::Scratch dir;
    e2e::write_file(dir / "in.nam", input);
    const e2e::Result r = e2e::run(RUNSQUASH_BIN, {"in.nam", "out.rle"}, dir.dir());
    EXPECT_EQ(r.status, 0) << r.err;
    return e2e::read_file(dir / "out.rle");
}

// mode "r" (RAM entry: the bytes on stdout) or "p" ($2007 entry: the last byte
// written to the port on stdout); the stream lies `offset` bytes into a page
// further than it would.
e2e::Result expand(const Bytes& stream, const std::string& mode, unsigned offset = 0) {
    e2e::Scratch dir;
    e2e::write_file(dir / "in.rle", stream);
    return e2e::run(SIM65_BIN, {UNRLE_SIM, mode, "in.rle", std::to_string(offset)}, dir.dir());
}

Bytes bytes_of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string last_of(const Bytes& out) {
    return out.empty() ? "" : std::string(1, static_cast<char>(out.back()));
}

// What the decoder promises for any stream: the bytes of every whole, valid
// packet up to the length header's count, and where it stopped reading.
struct Expansion {
    Bytes out;
    bool complete = false;
    std::size_t read = 0;
    std::size_t count = 0;
};

Expansion model(const Bytes& s) {
    Expansion e;
    if (s.size() < 2) {
        return e;
    }
    e.count = static_cast<std::size_t>(s[0]) << 8 | s[1];
    std::size_t i = 2;
    while (e.out.size() < e.count) {
        if (i == s.size()) {
            e.read = i;
            return e;
        }
        const unsigned h = s[i];
        const bool literal = h <= 126;
        if (!literal && (h < 129 || h == 255)) {
            e.read = i;
            return e;
        }
        const std::size_t size = literal ? h + 2 : 2;
        if (s.size() - i < size) {
            e.read = i;
            return e;
        }
        const std::size_t n =
            std::min<std::size_t>(literal ? h + 1 : 257 - h, e.count - e.out.size());
        for (std::size_t k = 0; k < n; ++k) {
            e.out.push_back(literal ? s[i + 1 + k] : s[i + 1]);
        }
        i += size;
    }
    e.complete = true;
    e.read = i;
    return e;
}

std::string summary(const Expansion& e, std::size_t stream_size) {
    std::ostringstream line;
    line << (e.complete ? "complete" : "stopped") << " produced " << e.out.size() << " of "
         << e.count << ", read " << e.read << " of " << stream_size << "\n";
    return line.str();
}

// Both entries, checked against the model; the RAM entry's bytes as well.
void expect_expansion(const Bytes& stream, unsigned offset = 0) {
    const Expansion want = model(stream);
    const e2e::Result ram = expand(stream, "r", offset);
    EXPECT_EQ(ram.err, summary(want, stream.size()));
    EXPECT_EQ(ram.status, want.complete ? 0 : 2);
    EXPECT_EQ(e2e::to_hex(bytes_of(ram.out)), e2e::to_hex(want.out));
    const e2e::Result ppu = expand(stream, "p", offset);
    EXPECT_EQ(ppu.err, summary(want, stream.size()));
    EXPECT_EQ(ppu.status, want.complete ? 0 : 2);
    EXPECT_EQ(ppu.out, last_of(want.out));
}

Bytes example_name_table() {
    e2e::Scratch dir;
    fs::copy_file(fs::path(EXAMPLES_DIR) / "title.bmp", dir / "title.bmp");
    EXPECT_EQ(e2e::run(TILECUT_BIN, {"title.bmp"}, dir.dir()).status, 0);
    EXPECT_EQ(e2e::run(TILEFOLD_BIN, {"title.chr"}, dir.dir()).status, 0);
    return e2e::read_file(dir / "out.nam");
}

// Slot numbers in runs of 1 to 40, as on a typical screen.
Bytes name_table(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes bytes;
    while (bytes.size() < n) {
        bytes.insert(bytes.end(), std::min<std::size_t>(1 + rng() % 40, n - bytes.size()),
                     static_cast<std::uint8_t>(rng() % 24));
    }
    return bytes;
}

Bytes noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes bytes(n);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

Bytes counting(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool holds(const Bytes& stream, const std::string& packet_hex) {
    const Bytes packet = e2e::hex(packet_hex);
    return std::search(stream.begin(), stream.end(), packet.begin(), packet.end()) != stream.end();
}

TEST(Decoder, ExpandsWhatRunsquashWrote) {
    REQUIRE_CC65();
    struct Row {
        std::string name;
        Bytes input;
        std::string packet; // a packet the stream must hold, so the edge is really met
    };
    const std::vector<Row> rows = {
        {"example name table", example_name_table(), ""},
        {"name table 960 seed 1", name_table(960, 1), ""},
        {"name table 960 seed 2", name_table(960, 2), ""},
        {"name table 1024 seed 3", name_table(1024, 3), ""},
        {"name table 1024 seed 4", name_table(1024, 4), ""},
        {"noise 960", noise(960, 5), ""},
        {"noise 1024", noise(1024, 6), ""},
        {"noise 4000, past 16-bit page carries", noise(4000, 7), ""},
        {"empty", {}, ""},
        {"one byte", {0x42}, ""},
        {"three equal at the end stay literal", {9, 9, 9}, "02 09 09 09"},
        {"all one byte, 960", Bytes(960, 0x24), "81 24"},
        {"all one byte, 1024", Bytes(1024, 0x00), "81 00"},
        {"run of exactly 3", {7, 7, 7, 9}, "FE 07"},
        {"run of exactly 128", concat(Bytes(128, 0xAA), {1}), "81 AA"},
        {"literal of exactly 127", counting(127), "7E 00 01 02"},
        {"literal of 127, then 1", counting(128), "00 7F"},
        {"all-literal 1024", counting(1024), "7E 00 01 02"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes stream = squash(row.input);
        if (!row.packet.empty()) {
            EXPECT_TRUE(holds(stream, row.packet)) << e2e::to_hex(stream);
        }
        const std::string line = "complete produced " + std::to_string(row.input.size()) + " of " +
                                 std::to_string(row.input.size()) + ", read " +
                                 std::to_string(stream.size()) + " of " +
                                 std::to_string(stream.size()) + "\n";
        const e2e::Result ram = expand(stream, "r");
        EXPECT_EQ(ram.status, 0);
        EXPECT_EQ(ram.err, line);
        EXPECT_TRUE(bytes_of(ram.out) == row.input);
        const e2e::Result ppu = expand(stream, "p");
        EXPECT_EQ(ppu.status, 0);
        EXPECT_EQ(ppu.err, line);
        EXPECT_EQ(ppu.out, last_of(row.input));
    }
}

TEST(Decoder, StopsSafelyOnDamagedStreams) {
    REQUIRE_CC65();
    struct Row {
        const char* stream;
        const char* out;
        const char* line;
    };
    const Row rows[] = {
        {"", "", "stopped produced 0 of 0, read 0 of 0\n"},
        {"03", "", "stopped produced 0 of 0, read 0 of 1\n"},
        {"00 00", "", "complete produced 0 of 0, read 2 of 2\n"},
        {"00 00 FE 41", "", "complete produced 0 of 0, read 2 of 4\n"},
        {"00 05", "", "stopped produced 0 of 5, read 2 of 2\n"},
        {"00 03 7F 41 42 43", "", "stopped produced 0 of 3, read 2 of 6\n"},
        {"00 03 80 41", "", "stopped produced 0 of 3, read 2 of 4\n"},
        {"00 03 FF 41", "", "stopped produced 0 of 3, read 2 of 4\n"},
        {"00 04 00 41 7F 42 42", "41", "stopped produced 1 of 4, read 4 of 7\n"},
        {"00 04 03 41 42", "", "stopped produced 0 of 4, read 2 of 5\n"},
        {"00 05 FE", "", "stopped produced 0 of 5, read 2 of 3\n"},
        {"00 0A FE 41", "41 41 41", "stopped produced 3 of 10, read 4 of 4\n"},
        {"00 02 FE 41", "41 41", "complete produced 2 of 2, read 4 of 4\n"},
        {"00 01 02 41 42 43", "41", "complete produced 1 of 1, read 6 of 6\n"},
        {"00 03 FE 41 7F 7F", "41 41 41", "complete produced 3 of 3, read 4 of 6\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stream);
        const Bytes stream = e2e::hex(row.stream);
        for (const char* mode : {"r", "p"}) {
            const e2e::Result r = expand(stream, mode);
            EXPECT_EQ(r.err, row.line);
            EXPECT_EQ(r.status, std::string(row.line).starts_with("complete") ? 0 : 2);
            const Bytes out = e2e::hex(row.out);
            EXPECT_EQ(r.out, mode == std::string("r") ? std::string(out.begin(), out.end())
                                                      : last_of(out));
        }
    }
    // A header of 127 stops even when enough bytes follow it for any reading.
    const Bytes h127 = concat(e2e::hex("00 03 7F"), Bytes(130, 0x41));
    expect_expansion(h127);
    EXPECT_TRUE(model(h127).out.empty());
    // A count far beyond what the packets hold stops when they run out.
    Bytes huge = e2e::hex("FF FF 81 41 81 42");
    expect_expansion(huge);
    EXPECT_EQ(model(huge).out.size(), 256u);
}

TEST(Decoder, StopsAtEveryCutOfARealStream) {
    REQUIRE_CC65();
    const Bytes input = concat(concat(name_table(300, 8), noise(140, 9)), Bytes(130, 3));
    const Bytes stream = squash(input);
    for (std::size_t cut = 0; cut < stream.size(); cut += 1 + cut % 3) {
        SCOPED_TRACE(cut);
        const Bytes part(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        const Expansion want = model(part);
        ASSERT_FALSE(want.complete);
        ASSERT_TRUE(std::equal(want.out.begin(), want.out.end(), input.begin()));
        const e2e::Result r = expand(part, "r");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, summary(want, part.size()));
        EXPECT_TRUE(bytes_of(r.out) == want.out);
    }
}

TEST(Decoder, NeverOverrunsOnRandomStreams) {
    REQUIRE_CC65();
    std::mt19937 rng(2024);
    for (int round = 0; round < 60; ++round) {
        Bytes stream = noise(rng() % 48, static_cast<unsigned>(rng()));
        if (stream.size() >= 2) {
            stream[0] = static_cast<std::uint8_t>(rng() % 2); // counts up to 511
        }
        SCOPED_TRACE(e2e::to_hex(stream));
        expect_expansion(stream);
    }
}

// The decoder's loops work inside one page of the stream and hand every
// packet that reaches into the next page, and the last ones, to careful
// code: each kind of packet must come out right wherever a page boundary
// cuts it, and the stream's end must stop it wherever that falls.
TEST(Decoder, ExpandsAnywhereInAPage) {
    REQUIRE_CC65();
    Bytes input = concat(name_table(500, 11), noise(400, 12)); // literals of 127
    input = concat(input, Bytes(128, 5));                      // a run of 128
    for (int i = 0; i < 40; ++i) {                             // runs of 3, single literals
        input = concat(input, {7, 7, 7, static_cast<std::uint8_t>(i)});
    }
    const Bytes stream = squash(input);
    ASSERT_GT(stream.size(), 2u + 511u);
    ASSERT_TRUE(holds(stream, "81 05"));
    ASSERT_TRUE(holds(stream, "FE 07 00 00"));
    for (unsigned offset = 0; offset < 256; ++offset) {
        SCOPED_TRACE(offset);
        // The whole stream to one entry and, cut so that its end falls at
        // every place in a page on every kind of packet, to the other.
        const Bytes part(stream.begin(),
                         stream.end() - 1 - static_cast<std::ptrdiff_t>(2 * offset));
        const std::string modes[] = {"r", "p"};
        for (const Bytes* s : {&stream, &part}) {
            const std::string& mode = modes[(offset + (s == &part)) % 2];
            const Expansion want = model(*s);
            const e2e::Result r = expand(*s, mode, offset);
            EXPECT_EQ(r.err, summary(want, s->size()));
            EXPECT_EQ(r.status, want.complete ? 0 : 2);
            EXPECT_EQ(r.out, mode == "r" ? std::string(want.out.begin(), want.out.end())
                                         : last_of(want.out));
        }
    }
}

// A count that ends inside a packet, or right after one, next to each
// multiple of 256 bytes of output; counts of 0 and 1; and counts near 65535,
// which the stream runs out before.
TEST(Decoder, StopsAtTheCountNearEveryPage) {
    REQUIRE_CC65();
    const auto check = [](Bytes stream, const Bytes& input, unsigned count) {
        SCOPED_TRACE(count);
        stream[0] = static_cast<std::uint8_t>(count >> 8);
        stream[1] = static_cast<std::uint8_t>(count);
        const Expansion want = model(stream);
        ASSERT_EQ(want.complete, count <= input.size());
        ASSERT_TRUE(std::equal(want.out.begin(), want.out.end(), input.begin()));
        expect_expansion(stream, count * 37 % 256);
    };
    const Bytes input = concat(name_table(700, 13), noise(400, 14));
    const Bytes stream = squash(input);
    for (const unsigned count :
         {0u,   1u,   2u,   3u,   127u, 128u, 129u, 255u, 256u,  257u,  383u,
          384u, 385u, 511u, 512u, 513u, 767u, 768u, 769u, 1023u, 1024u, 1025u}) {
        check(stream, input, count);
    }
    const Bytes few = name_table(250, 15);
    for (const unsigned count : {0xFEFFu, 0xFF00u, 0xFF01u, 0xFFFFu}) {
        check(squash(few), few, count);
    }
}

// The size in the source's notes is what the assembler makes of it.
TEST(Decoder, SourceStatesItsSize) {
    REQUIRE_CC65();
    const e2e::Result dump =
        e2e::run(OD65_BIN, {"--dump-segsize", UNRLE_OBJECT}, fs::temp_directory_path());
    ASSERT_EQ(dump.status, 0) << dump.err;
    std::smatch code;
    std::smatch zp;
    ASSERT_TRUE(std::regex_search(dump.out, code, std::regex(R"(CODE:\s+(\d+))")));
    ASSERT_TRUE(std::regex_search(dump.out, zp, std::regex(R"(ZEROPAGE:\s+(\d+))")));
    std::ifstream in(UNRLE_SOURCE);
    std::stringstream source;
    source << in.rdbuf();
    EXPECT_NE(source.str().find("; Size: " + code[1].str() + " bytes of code"), std::string::npos)
        << "assembled size " << code[1];
    EXPECT_NE(source.str().find("; Zero page: " + zp[1].str() + " bytes"), std::string::npos)
        << "zero page " << zp[1];
}

} // namespace
