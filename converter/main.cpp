#include "cli.hpp"

#include <allegro.h>

int main(int argc, char** argv) {
    return tilecut::run(argc, argv, stdout, stderr);
}
// On Windows this supplies the WinMain that hands main to the library.
END_OF_MAIN()
