#include <cstdio>

// Stand-in until the main window exists.
int main() {
  std::puts("Nebulor: the main window is not built yet; run the tests with scripts/test.");
  return 0;
}
