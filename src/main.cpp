#include <cstdio>

int main() {
    std::puts("VI 801: the chip core is built; the windows are not there yet.");
    return 0;
}
