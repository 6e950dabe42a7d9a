// coral-sieve: the standalone application.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/Application.h"

int main(int argc, char** argv) {
  try {
    return coral::RunApplication(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& exception) {
    std::fprintf(stderr, "coral-sieve: %s\n", exception.what());
    return 1;
  }
}
