#include "cli.hpp"

#include <cstdio>

int main(int argc, char** argv) {
    return runsquash::run_command(argc, argv, stdout, stderr);
}
