#include <cstdio>

int main() {
    std::puts("usage: novel [--site URL] [--config FILE] COMMAND ...");
    return 0;
}
