// Owning handles for the C resources the converter takes, so that every
// return path, failures included, gives them back.
#pragma once

#include <allegro.h>

#include <cstdio>
#include <memory>

struct BitmapDeleter {
    void operator()(BITMAP* bmp) const { destroy_bitmap(bmp); }
};
using BitmapPtr = std::unique_ptr<BITMAP, BitmapDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
