#include "cli.hpp"

int main(int argc, char** argv) {
    return tilefit::run(argc, argv, stdout, stderr);
}
