#include "cli.hpp"

int main(int argc, char** argv) {
    return tilepal::run(argc, argv, stdout, stderr);
}
