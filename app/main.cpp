// The program's entry. The conversions arrive with the application; until then it only says so.
#include <cstdio>

#include "MirelconVersion.h"

int main() {
  std::printf("mirelcon %s: built; the conversions are not part of this build yet.\n", MIRELCON_VERSION_TEXT);
  return 0;
}
