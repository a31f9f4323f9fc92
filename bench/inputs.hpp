// Seeded inputs for the benchmark: pictures as 8-bit BMP files and raw byte
// files, the same bytes for the same seed on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Bytes = std::vector<std::uint8_t>;

// splitmix64: fixed output for a fixed seed, unlike the standard
// distributions, whose results differ between library versions.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform enough in [0, n) for picking sizes and colours; n > 0.
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>((next() >> 32) % n); }

  private:
    std::uint64_t state_;
};

// Palette indices 0-3, row-major, top row first.
struct Picture {
    int w = 0;
    int h = 0;
    Bytes pixels;
};

// A title screen: a framed playfield with blocks of "text" and a few
// patterned panels, the kind of picture with many repeated tiles.
Picture screen(int w, int h, std::uint64_t seed);

// Overlapping rectangles and discs of the four colours at arbitrary pixel
// positions, so the tile edges fall anywhere and tiles repeat only in part.
Picture scene(int w, int h, std::uint64_t seed);

// A true-colour picture, three bytes (red, green, blue) per pixel, row-major.
struct ColourPicture {
    int w = 0;
    int h = 0;
    Bytes rgb;
};

// A stand-in for a photograph: a sky's gradient over a jagged skyline, soft
// discs of other colours and a grain of noise, up to `grain` either way, so
// that nearly every pixel is a colour of its own and no region is flat. A
// coarse grain makes every cell of the fitted screen a tile of its own.
ColourPicture photo(int w, int h, std::uint64_t seed, int grain = 8);

// An 8-bit RGB PNG of the picture.
Bytes to_png(const ColourPicture& pic);

// An uncompressed bottom-up 8-bit BMP with a 256-entry palette.
Bytes to_bmp(const Picture& pic);

Bytes random_bytes(std::size_t n, std::uint64_t seed);

// `distinct` tiles that agree in their first 14 bytes, repeated in order up to
// n bytes: past the 256th they never find a slot, so a linear search would
// compare them with every stored tile.
Bytes shared_prefix_tiles(std::size_t n, std::size_t distinct, std::uint64_t seed);

// Runs of 64 to 4095 equal bytes, each value unlike the one before.
Bytes long_runs(std::size_t n, std::uint64_t seed);

// The largest pictures each reader takes, 16384 pixels a side, in files of a
// few megabytes at most: stripes of runs. Each is valid and decodes to
// 16384 x 16384 pixels.
Bytes largest_rle8_bmp();
Bytes largest_pcx(int planes); // 1: palette indices, 3: true colour
Bytes largest_rle32_tga();
Bytes largest_gray_png();

// Writes `bytes` to `path`; false (with errno set) on failure.
bool write_file(const std::string& path, const Bytes& bytes);

} // namespace bench
