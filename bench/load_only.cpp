// The floor for tilecut on a large picture: only what the library itself
// needs to read the image and release it.
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("syntax: load_only image.bmp\n", stderr);
        return 1;
    }
    install_allegro(SYSTEM_NONE, &errno, std::atexit);
    BITMAP* bmp = load_bitmap(argv[1], nullptr);
    if (bmp == nullptr) {
        std::fprintf(stderr, "could not load bitmap %s\n", argv[1]);
        return 1;
    }
    destroy_bitmap(bmp);
    return 0;
}
END_OF_MAIN()
