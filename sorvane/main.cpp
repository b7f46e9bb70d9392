#include <cstdio>

// The window arrives with the main-window work; until then the program says so.
int main() {
  std::puts("Sorvane: the main window is not built yet.");
  return 0;
}
