// quillet-map: the comparison engine for scripts. Exit status as cmp: 0 all blocks equal,
// 1 some block differs, 2 trouble (a file that cannot be opened or read, a bad argument).
// With --dump it prints the hex dump of a range instead: 0 once printed, 2 trouble. With --png
// it also writes the map as the window paints it; a picture not written is trouble.
#include "cli/mapcli.h"

#include <clocale>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    // The system's texts in the user's language, as cmp and the window give them; what this
    // program prints itself stays as it is.
    std::setlocale(LC_ALL, "");
    return RunMap(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                  isatty(STDERR_FILENO) != 0);
}
