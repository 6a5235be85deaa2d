// quillet: compares two files and shows where they differ as a map of coloured squares.
#include "app/compareapp.h"

int main(int argc, char** argv) {
    return RunQuillet(argc, argv);
}
