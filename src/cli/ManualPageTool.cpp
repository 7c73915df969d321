// tov_manpage TEMPLATE OUT: writes the manual page tov(1) from its template
// (resources/tov.1.in with the version filled in) and the table of the
// command line. Run when the program is built.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cli/CommandLineOptions.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: tov_manpage TEMPLATE OUT\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    std::fprintf(stderr, "tov_manpage: cannot read %s\n", argv[1]);
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << tov::manualPage(text);
  out.close();
  if (!out) {
    std::fprintf(stderr, "tov_manpage: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
