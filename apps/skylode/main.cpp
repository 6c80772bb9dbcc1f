// Skylode: downloads flight instruments and converts their tracks.
#include <cstdio>

int main() {
  std::printf("Skylode 4.49\n");
  return 0;
}
