#include "png_write.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using tileshow::Picture;
using tileshow::Rgb;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct ReadBack {
    png_uint_32 width = 0, height = 0;
    int depth = 0, color_type = 0; // as stored, before the reader unpacks
    std::vector<Rgb> palette;
    Bytes pixels; // one byte per pixel
};

struct ReadStruct {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ~ReadStruct() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Holds nothing with a destructor, since libpng may jump out of it.
bool read_into(png_structp png, png_infop info, std::FILE* in, ReadBack* out) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, in);
    png_read_png(png, info, PNG_TRANSFORM_PACKING, nullptr);
    png_get_IHDR(png, info, &out->width, &out->height, nullptr, nullptr, nullptr, nullptr, nullptr);
    png_colorp colours = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colours, &count);
    png_bytepp rows = png_get_rows(png, info);
    for (int i = 0; i < count; ++i) {
        out->palette.push_back({colours[i].red, colours[i].green, colours[i].blue});
    }
    for (png_uint_32 y = 0; y < out->height; ++y) {
        out->pixels.insert(out->pixels.end(), rows[y], rows[y] + out->width);
    }
    return true;
}

ReadBack write_and_read(const Picture& picture) {
    FilePtr file(std::tmpfile());
    const auto error = tileshow::write_png(picture, file.get(), "x.png");
    EXPECT_FALSE(error) << error->message;
    std::rewind(file.get());
    ReadBack back;
    // IHDR's bit depth and colour type bytes, after the signature and the
    // chunk's length, type, width and height.
    std::uint8_t head[26] = {};
    EXPECT_EQ(std::fread(head, 1, sizeof head, file.get()), sizeof head);
    back.depth = head[24];
    back.color_type = head[25];
    std::rewind(file.get());
    ReadStruct rs;
    EXPECT_TRUE(read_into(rs.png, rs.info, file.get(), &back));
    return back;
}

Picture random_picture(std::uint32_t w, std::uint32_t h, std::size_t colours) {
    std::mt19937 gen(w * 31 + h);
    Picture p{w, h, Bytes(std::size_t{w} * h), std::vector<Rgb>(colours)};
    for (auto& px : p.pixels) {
        px = static_cast<std::uint8_t>(gen() % colours);
    }
    for (auto& c : p.palette) {
        c = {static_cast<std::uint8_t>(gen()), static_cast<std::uint8_t>(gen()),
             static_cast<std::uint8_t>(gen())};
    }
    return p;
}

} // namespace

TEST(PngWrite, IndicesAndPaletteReadBackExactly) {
    struct Case {
        std::uint32_t w, h;
        std::size_t colours;
        int depth;
    };
    for (const Case c : {Case{5, 3, 4, 2}, Case{13, 7, 16, 4}, Case{256, 240, 16, 4}}) {
        const Picture p = random_picture(c.w, c.h, c.colours);
        const ReadBack back = write_and_read(p);
        EXPECT_EQ(back.width, c.w);
        EXPECT_EQ(back.height, c.h);
        EXPECT_EQ(back.color_type, PNG_COLOR_TYPE_PALETTE);
        EXPECT_EQ(back.depth, c.depth);
        EXPECT_EQ(back.palette, p.palette);
        EXPECT_EQ(back.pixels, p.pixels);
    }
}

TEST(PngWrite, FullDiskIsReported) {
    // A small file fails only when the stream is flushed; a large one while
    // libpng is still writing.
    for (const std::uint32_t side : {8U, 512U}) {
        FilePtr full(std::fopen("/dev/full", "wb"));
        if (!full) {
            GTEST_SKIP() << "no /dev/full";
        }
        const auto error = tileshow::write_png(random_picture(side, side, 16), full.get(), "o.png");
        ASSERT_TRUE(error) << side;
        EXPECT_EQ(error->problem, tileshow::Problem::write_failed);
        EXPECT_EQ(error->message, "tileshow: could not write o.png: No space left on device\n");
    }
}

TEST(PngWrite, LibraryRefusalIsReported) {
    FilePtr file(std::tmpfile());
    const Picture empty{0, 0, {}, {{1, 2, 3}}};
    const auto error = tileshow::write_png(empty, file.get(), "e.png");
    ASSERT_TRUE(error);
    const std::string prefix = "tileshow: could not write e.png: ";
    EXPECT_EQ(error->message.substr(0, prefix.size()), prefix);
    EXPECT_GT(error->message.size(), prefix.size() + 1);
    EXPECT_EQ(error->message.find('\n'), error->message.size() - 1);
}
