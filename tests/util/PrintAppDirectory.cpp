#include <iostream>

#include "util/AppDirectory.h"

int main() {
    std::cout << ostrevane::AppDirectory();
    return 0;
}
