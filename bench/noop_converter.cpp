// The floor for the start-up of tilecut: linked against the same libraries,
// it sets Allegro up with the same no-system driver and stops. Every run of
// tilecut, the usage run included, has to pay for that set-up.
#include <allegro.h>

#include <cerrno>
#include <cstdlib>

int main() {
    install_allegro(SYSTEM_NONE, &errno, std::atexit);
    return 0;
}
END_OF_MAIN()
