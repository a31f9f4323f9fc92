#include "cli.hpp"

int main(int argc, char** argv) {
    return quality::run(argc, argv, stdout, stderr);
}
