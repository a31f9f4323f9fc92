// The image library, kept behind the intake's own interface: it is started
// here, and it decodes the plain uncompressed BMP files that the BMP reader
// streams to it, straight from the source file.
#include "readers.hpp"

#include <allegro.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace intake {

bool start() {
    // No window, screen, keyboard or timer: only the decoders are wanted.
    return install_allegro(SYSTEM_NONE, &errno, std::atexit) == 0;
}

namespace {

// A read-only stream over the pieces, for the library's PACKFILE. The
// library seeks only forwards and pushes back at most one byte. Its decoders
// take most bytes one call at a time, so the common case is a pointer bump.
struct PieceStream {
    const std::vector<Piece>* pieces;
    std::size_t piece = 0;
    int pushed = EOF;
    bool failed = false;
    // The bytes ready to hand out are [cur, end); view_begin lies at offset
    // `base` of the current piece. File pieces are read a window at a time.
    const std::uint8_t* view_begin = nullptr;
    const std::uint8_t* cur = nullptr;
    const std::uint8_t* end = nullptr;
    std::size_t base = 0;
    Bytes window = Bytes(64 * 1024);

    // Makes more bytes ready once [cur, end) is used up; false at the end of
    // the last piece, or once a read has failed.
    bool refill() {
        std::size_t at = base + static_cast<std::size_t>(cur - view_begin);
        while (!failed && piece < pieces->size()) {
            const Piece& p = (*pieces)[piece];
            if (at == p.size()) {
                ++piece;
                at = 0;
                continue;
            }
            base = at;
            if (p.source == nullptr) {
                view_begin = cur = p.memory.data() + at;
                end = p.memory.data() + p.memory.size();
                return true;
            }
            const std::size_t n = std::min(window.size(), p.length - at);
            if (!p.source->read(p.offset + at, n, window.data())) {
                failed = true;
                break;
            }
            view_begin = cur = window.data();
            end = window.data() + n;
            return true;
        }
        base = 0;
        view_begin = cur = end = nullptr;
        return false;
    }

    bool at_end() { return pushed == EOF && cur == end && !refill(); }
};

PieceStream& stream(void* userdata) {
    return *static_cast<PieceStream*>(userdata);
}

int stream_close(void*) {
    return 0; // the pieces belong to the caller
}

int stream_getc(void* userdata) {
    PieceStream& s = stream(userdata);
    if (s.pushed != EOF) {
        const int c = s.pushed;
        s.pushed = EOF;
        return c;
    }
    if (s.cur == s.end && !s.refill()) {
        return EOF;
    }
    return *s.cur++;
}

int stream_ungetc(int c, void* userdata) {
    stream(userdata).pushed = c & 0xFF;
    return c;
}

long stream_fread(void* p, long n, void* userdata) {
    PieceStream& s = stream(userdata);
    auto* dst = static_cast<std::uint8_t*>(p);
    long done = 0;
    if (n > 0 && s.pushed != EOF) {
        dst[done++] = static_cast<std::uint8_t>(stream_getc(userdata));
    }
    while (done < n) {
        if (s.cur == s.end && !s.refill()) {
            break;
        }
        const auto take =
            std::min(static_cast<std::size_t>(s.end - s.cur), static_cast<std::size_t>(n - done));
        std::memcpy(dst + done, s.cur, take);
        s.cur += take;
        done += static_cast<long>(take);
    }
    return done;
}

int stream_putc(int, void*) {
    return EOF;
}

long stream_fwrite(const void*, long, void*) {
    return 0;
}

int stream_fseek(void* userdata, int offset) {
    for (int i = 0; i < offset; ++i) {
        if (stream_getc(userdata) == EOF) {
            return -1;
        }
    }
    return offset < 0 ? -1 : 0;
}

int stream_feof(void* userdata) {
    return stream(userdata).at_end() ? 1 : 0;
}

int stream_ferror(void*) {
    return 0;
}

const PACKFILE_VTABLE kPieceVtable = {stream_close, stream_getc, stream_ungetc,
                                      stream_fread, stream_putc, stream_fwrite,
                                      stream_fseek, stream_feof, stream_ferror};

} // namespace

Decoded decode_bmp_with_library(const std::vector<Piece>& pieces, Kind kind) {
    PieceStream s{&pieces};
    PACKFILE* pf = pack_fopen_vtable(&kPieceVtable, &s);
    if (pf == nullptr) {
        return out_of_memory();
    }
    // No palette is asked for: the colours are read from the file itself.
    BITMAP* bmp = load_bmp_pf(pf, nullptr);
    pack_fclose(pf);
    if (bmp == nullptr) {
        return malformed("the image library could not decode the pixels");
    }
    std::shared_ptr<BITMAP> owner(bmp, [](BITMAP* b) { destroy_bitmap(b); });
    // A file that changed under us gave made-up pixels.
    if (s.failed || bitmap_color_depth(bmp) != 8 || !is_memory_bitmap(bmp) || bmp->w <= 0 ||
        bmp->h <= 0) {
        return malformed("the file changed while it was read");
    }
    // A memory bitmap keeps its rows one after another.
    const auto stride = static_cast<std::size_t>(bmp->h > 1 ? bmp->line[1] - bmp->line[0] : bmp->w);
    for (int y = 0; y < bmp->h; ++y) {
        if (bmp->line[y] != bmp->line[0] + static_cast<std::size_t>(y) * stride) {
            return malformed("the image library gave rows apart");
        }
    }
    return Image::adopt(static_cast<std::uint32_t>(bmp->w), static_cast<std::uint32_t>(bmp->h),
                        kind, bmp->line[0], stride, std::move(owner));
}

} // namespace intake
