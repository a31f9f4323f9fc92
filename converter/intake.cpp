#include "intake.hpp"

#include "intake_readers.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace intake {

bool ByteSource::read(std::uint64_t offset, std::size_t n, Bytes& out) {
    out.resize(n);
    return read(offset, n, out.data());
}

bool MemorySource::read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) {
    if (offset > bytes_.size() || bytes_.size() - offset < n) {
        return false;
    }
    if (n > 0) {
        std::memcpy(dst, bytes_.data() + offset, n);
    }
    return true;
}

std::unique_ptr<FileSource> FileSource::open(const char* path) {
    FilePtr file(std::fopen(path, "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        return nullptr;
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        return nullptr;
    }
    return std::unique_ptr<FileSource>(
        new FileSource(std::move(file), static_cast<std::uint64_t>(size)));
}

bool FileSource::read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) {
    if (offset > size_ || size_ - offset < n) {
        return false;
    }
    // Seeking costs a system call even within the stream's buffer, and the
    // readers mostly go forwards, so seek only when the position is wrong.
    if (offset != position_) {
        position_ = kUnknownPosition;
        if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
            return false;
        }
    }
    if (std::fread(dst, 1, n, file_.get()) != n) {
        position_ = kUnknownPosition;
        return false;
    }
    position_ = offset + n;
    return true;
}

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
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

template <BitmapPtr (*Reader)(ByteSource&, RGB*)> BITMAP* load_file(const char* path, RGB* pal) {
    const auto src = FileSource::open(path);
    return src ? Reader(*src, pal).release() : nullptr;
}

struct CheckedReader {
    const char* extension;
    BITMAP* (*load)(const char*, RGB*);
    int (*save)(const char*, BITMAP*, const RGB*);
};

const CheckedReader kReaders[] = {
    {"bmp", load_file<read_bmp>, save_bmp},
    {"pcx", load_file<read_pcx>, save_pcx},
    {"png", load_file<read_png>, nullptr},
    {"tga", load_file<read_tga>, save_tga},
};

const CheckedReader* reader_for(const char* path) {
    const char* ext = get_extension(path);
    for (const CheckedReader& reader : kReaders) {
        if (strcasecmp(ext, reader.extension) == 0) {
            return &reader;
        }
    }
    return nullptr;
}

} // namespace

BitmapPtr decode_with_library(const std::vector<Piece>& pieces, StreamLoader loader, RGB* pal) {
    PieceStream s{&pieces};
    PACKFILE* pf = pack_fopen_vtable(&kPieceVtable, &s);
    if (pf == nullptr) {
        return nullptr;
    }
    BitmapPtr bmp(loader(pf, pal));
    pack_fclose(pf);
    if (s.failed) {
        return nullptr; // the file changed under us: whatever was decoded is made up
    }
    return bmp;
}

} // namespace intake

void register_checked_readers() {
    for (const intake::CheckedReader& reader : intake::kReaders) {
        register_bitmap_file_type(reader.extension, reader.load, reader.save);
    }
}

BitmapPtr load_image(const char* path) {
    // The library keeps the first reader registered for an extension, and
    // its own unchecked readers come first; so the checked reader is chosen
    // here, by the same extension rule load_bitmap uses. The library's other
    // readers (LBM) trust their headers and can be driven to corrupt memory:
    // an extension without a checked reader is refused.
    // No palette is asked for: only the indices matter, never the colours.
    const intake::CheckedReader* reader = intake::reader_for(path);
    return reader != nullptr ? BitmapPtr(reader->load(path, nullptr)) : nullptr;
}
