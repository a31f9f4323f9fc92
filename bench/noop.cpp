// The floor for the start-up of tilefold and runsquash: a C++ program that
// links the same runtime and does nothing.
int main() {
    return 0;
}
