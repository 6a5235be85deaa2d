#pragma once

#include "cli/mapargs.h"
#include "cli/mapreport.h"

#include <iosfwd>
#include <string>
#include <vector>

// The whole of quillet-map: args are the arguments after the program's name; the report,
// answer, dump or picture goes to out, trouble to err as "quillet-map: NAME: REASON" (and to
// out as well in JSON), the progress to err when bTerminal. A FILE of "-" is nStdin, which is
// left open. Returns the exit status: 0 all equal (or dump printed), 1 a difference, 2
// trouble. Only reads the two files and writes nothing but the picture asked for.
int RunMap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool bTerminal, int nStdin = 0);
