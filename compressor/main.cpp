#include "cli.hpp"

int main(int argc, char** argv) {
    return runsquash::run(argc, argv, stdout, stderr);
}
