#include "png_write.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <memory>
#include <random>

using tileshow::Picture;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

Picture random_picture(std::uint32_t side, std::size_t colours) {
    std::mt19937 gen(side);
    Picture p{side, side + 1, Bytes(std::size_t{side} * (side + 1)), {}};
    for (auto& px : p.pixels) {
        px = static_cast<std::uint8_t>(gen() % colours);
    }
    for (std::size_t i = 0; i < colours; ++i) {
        p.palette.push_back({static_cast<std::uint8_t>(gen()), static_cast<std::uint8_t>(gen()),
                             static_cast<std::uint8_t>(gen())});
    }
    return p;
}

} // namespace

TEST(PngWrite, IndicesAndPaletteReadBackExactly) {
    // An odd width leaves a last byte only partly filled at both depths.
    for (const auto& [colours, depth] : {std::pair{4, 2}, std::pair{16, 4}}) {
        const Picture p = random_picture(13, static_cast<std::size_t>(colours));
        FilePtr file(std::tmpfile());
        ASSERT_FALSE(tileshow::write_png(p, file.get(), "x.png"));
        Bytes png(static_cast<std::size_t>(std::ftell(file.get())));
        std::rewind(file.get());
        ASSERT_EQ(std::fread(png.data(), 1, png.size(), file.get()), png.size());
        // IHDR's bit depth and colour type (3, indexed) follow the signature
        // and the chunk's length, type, width and height.
        EXPECT_EQ(png.at(24), depth);
        EXPECT_EQ(png.at(25), 3);

        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_NE(png_image_begin_read_from_memory(&image, png.data(), png.size()), 0);
        image.format = PNG_FORMAT_RGB_COLORMAP;
        Bytes pixels(PNG_IMAGE_SIZE(image)), rgb(PNG_IMAGE_COLORMAP_SIZE(image));
        ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, rgb.data()), 0);
        EXPECT_EQ(pixels, p.pixels);
        ASSERT_EQ(rgb.size(), p.palette.size() * 3);
        for (std::size_t i = 0; i < p.palette.size(); ++i) {
            EXPECT_EQ((tileshow::Rgb{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]}), p.palette[i]);
        }
    }
}

TEST(PngWrite, FailuresAreReported) {
    // A small picture fails when the stream is flushed, a large one while
    // libpng is still writing.
    for (const std::uint32_t side : {8U, 512U}) {
        FilePtr full(std::fopen("/dev/full", "wb"));
        ASSERT_TRUE(full);
        const auto error = tileshow::write_png(random_picture(side, 16), full.get(), "o.png");
        ASSERT_TRUE(error) << side;
        EXPECT_EQ(error->problem, tileshow::Problem::write_failed);
        EXPECT_EQ(error->message, "tileshow: o.png: could not write it: No space left on device\n");
    }
    FilePtr file(std::tmpfile());
    const auto error = tileshow::write_png(Picture{0, 0, {}, {{1, 2, 3}}}, file.get(), "e.png");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, "tileshow: e.png: could not write it: Invalid IHDR data\n");
}
