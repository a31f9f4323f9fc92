#include "cli.hpp"

#include <allegro.h>

int main(int argc, char** argv) {
    return tilecut::run(argc, argv, stdout, stderr);
}
// The image library's convention for the program's main: where the library
// wraps main in an entry point of its own, this names the real one.
END_OF_MAIN()
