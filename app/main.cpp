// quillet: compares two files and shows where they differ as a map of coloured squares.
#include "app/compareapp.h"
#include "app/screenmetrics.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {
const char kHelp[] = "Usage: quillet [FILE1 [FILE2]]\n"
                     "Compare two files byte for byte and show where they differ as a map of\n"
                     "coloured squares. The Select-files dialog opens pre-filled with the names\n"
                     "given; double-click the map or press Ctrl+O to compare again.\n"
                     "\n"
                     "  --help     show this help and exit\n"
                     "  --version  show the version and exit\n"
                     "  --         every later argument is a file name\n"
                     "\n"
                     "Colours: white not compared yet, blue equal, red different, yellow one file\n"
                     "ends there, black unreadable.\n";

// --help and --version answer before any window or display is needed.
bool AnswersAtOnce(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("quillet (Quillet Tavrel) 1.00");
            return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char** argv) {
    if (AnswersAtOnce(argc, argv))
        return 0;
    const bool bPlaced = HasToolkitGeometry(argc, argv);
    QApplication app(argc, argv); // takes its own options out of argv
    CCompareApp theApp;
    theApp.InitInstance(std::vector<std::string>(argv + 1, argv + argc), SystemScreenMetrics(),
                        bPlaced);
    return app.exec();
}
