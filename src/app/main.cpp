// Placeholder until the window exists: says so and ends.
#include <cstdio>

int main() {
    std::puts("Kavuro: the window is not built yet.");
    return 0;
}
