// Tavelin: shows and curates the addresses the browser remembers as typed addresses.
#include "qt/program.h"

int main(int argc, char* argv[]) {
  return RunTavelin(argc, argv);
}
