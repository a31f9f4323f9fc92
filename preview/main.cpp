#include "cli.hpp"

int main(int argc, char** argv) {
    return tileshow::run(argc, argv, stdout, stderr);
}
