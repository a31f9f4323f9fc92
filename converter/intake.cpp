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
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(dst, 1, n, file_.get()) == n;
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
// library seeks only forwards and pushes back at most one byte.
struct PieceStream {
    const std::vector<ByteView>* pieces;
    std::size_t piece = 0;
    std::size_t at = 0;
    int pushed = EOF;

    void skip_empty() {
        while (piece < pieces->size() && at == (*pieces)[piece].size()) {
            ++piece;
            at = 0;
        }
    }
    bool at_end() {
        skip_empty();
        return pushed == EOF && piece == pieces->size();
    }
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
    s.skip_empty();
    if (s.piece == s.pieces->size()) {
        return EOF;
    }
    return (*s.pieces)[s.piece][s.at++];
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
        s.skip_empty();
        if (s.piece == s.pieces->size()) {
            break;
        }
        const ByteView piece = (*s.pieces)[s.piece];
        const std::size_t take = std::min(piece.size() - s.at, static_cast<std::size_t>(n - done));
        std::memcpy(dst + done, piece.data() + s.at, take);
        s.at += take;
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

BitmapPtr decode_with_library(const std::vector<ByteView>& pieces, StreamLoader loader, RGB* pal) {
    PieceStream s{&pieces};
    PACKFILE* pf = pack_fopen_vtable(&kPieceVtable, &s);
    if (pf == nullptr) {
        return nullptr;
    }
    BitmapPtr bmp(loader(pf, pal));
    pack_fclose(pf);
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
    // its own unchecked bmp and pcx readers come first; so the checked
    // reader is chosen here, by the same extension rule load_bitmap uses.
    if (const intake::CheckedReader* reader = intake::reader_for(path)) {
        return BitmapPtr(reader->load(path, nullptr));
    }
    // No palette is asked for: only the indices matter, never the colours.
    return BitmapPtr(load_bitmap(path, nullptr));
}
