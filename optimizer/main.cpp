#include "cli.hpp"

int main(int argc, char** argv) {
    return tilefold::run(argc, argv, stdout, stderr);
}
