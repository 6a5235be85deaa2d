#include "cli/mapargs.h"

std::string MapUsage() {
    return "Usage: quillet-map [OPTION]... [--] FILE1 FILE2";
}

std::string MapVersion() {
    return "quillet-map (Quillet Tavrel) 1.00\n"
           "Copyright (C) 2026 The Quillet Tavrel developers.\n"
           "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

std::string MapHelp() {
    return MapUsage() + "\n"
                        "Compare two files block by block and list where they differ.\n"
                        "A FILE of - is standard input.\n"
                        "\n"
                        "  -b, --block-size=BYTES  block size, a power of two from 1 to 1G\n"
                        "                          (default: the smallest power of two, at\n"
                        "                          least 4K, that keeps 1048576 blocks)\n"
                        "      --range=FIRST:LAST  compare only bytes FIRST to LAST of both\n"
                        "                          files; blocks start at FIRST; FIRST: runs\n"
                        "                          to the end of the longer file\n"
                        "  -s, --quiet, --silent   print nothing and stop at the first block\n"
                        "                          that is not equal: the exit status alone\n"
                        "      --first             print the offset of the first byte that\n"
                        "                          differs, in decimal and hex, and stop\n"
                        "      --json              print the report as one JSON document\n"
                        "      --dump=FIRST:LAST   instead of comparing, print the hex dump of\n"
                        "                          both files around their first difference\n"
                        "                          in bytes FIRST to LAST (at most 2G)\n"
                        "      --png=PICTURE       also write the map as the window shows it\n"
                        "                          to the PNG file PICTURE, with the window's\n"
                        "                          block size; --png=- writes it to standard\n"
                        "                          output instead of the report\n"
                        "      --size=WxH          the map area of the picture in pixels, each\n"
                        "                          side from 5 to 16384 (default: 1024x768)\n"
                        "  -h, --help              show this help and exit\n"
                        "  -V, --version           show the version and exit\n"
                        "\n"
                        "Offsets count from 0: the first byte of a file is at offset 0, where\n"
                        "cmp calls it byte 1. Every offset printed is a file offset. Offsets\n"
                        "and sizes are decimal or 0x hex, and may end in a unit: K M G T P E\n"
                        "(or KiB, MiB ...) for powers of 1024, kB MB GB ... for powers of 1000.\n"
                        "Long options may be shortened to any unique beginning.\n"
                        "\n"
                        "The first line counts the blocks in each state; every further line is\n"
                        "a run of blocks that are not equal: STATE 0xFIRST 0xLAST, the run's\n"
                        "first and last byte offsets, STATE one of different, length-differs,\n"
                        "read-error. --first prints STATE DECIMAL 0xHEX of the first byte that\n"
                        "differs or, followed by EOF on NAME, of the end of the shorter file.\n"
                        "\n"
                        "Standard input, a pipe or a FIFO is read once, from start to end, in\n"
                        "little memory; --dump and --png need the length first, so they take\n"
                        "only files that can be measured. A range past the end of both files\n"
                        "compares nothing, and nothing compared is equal.\n"
                        "\n"
                        "Exit status: 0 all blocks equal, 1 some block differs, 2 trouble\n"
                        "(a file that cannot be opened or read, or a bad argument). With --dump:\n"
                        "0 once the dump is printed, 2 trouble.\n";
}
