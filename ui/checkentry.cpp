#include "ui/checkentry.h"

#include "engine/inputfile.h"

#include <filesystem>
#include <system_error>

std::string CheckEntryPath(const std::string& strPath) {
    namespace fs = std::filesystem;
    if (strPath.empty())
        return "No file";
    // A name that cannot be looked up (a dangling link, a folder that may not be searched)
    // is as good as missing to the user.
    std::error_code ec;
    fs::file_status status = fs::status(strPath, ec);
    if (ec || !fs::exists(status))
        return "File not found";
    const std::string strZero = "File length is zero";
    if (fs::is_regular_file(status)) {
        std::uintmax_t nLength = fs::file_size(strPath, ec);
        if (ec)
            return "File not found"; // gone since the look-up
        return nLength == 0 ? strZero : std::string();
    }
    if (fs::is_block_file(status)) {
        // A disk tells its length only when opened; one that cannot be opened is left to
        // the start command, which shows the system's reason.
        CInputFile file;
        return file.Open(strPath) && file.GetSize() == 0 ? strZero : std::string();
    }
    // Directories, FIFOs, sockets and terminals have no length to compare.
    return strZero;
}
