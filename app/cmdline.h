#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Thrown and caught inside the parser only: 5 more than two file names, 1 an option.
struct ECmdlineOption {
    int32_t m_nCode;
};

// The command line's verdict and the two current paths, the one place the program keeps
// the files it compares.
class CCmdline {
public:
    // The arguments after the program's name, as the shell split them. An argument that
    // begins with '-' is an option until "--", after which every argument is a file name.
    // Returns m_nResult >= 0. Any option but --align, or more than two names, makes the line
    // invalid.
    bool Parse(const std::vector<std::string>& args);
    // The same on one Windows command-line string: blank-separated, double quotes group
    // blanks, a token beginning with '/' is an option.
    bool ParseCommandLine(const std::string& strText);
    // Splits a Windows command-line string into tokens (no escape character).
    static std::vector<std::string> Tokenize(const std::string& strText);

    static std::string GetUsage() { return "Usage: Quillet [file1] [file2]"; }
    // The absolute, lexically normal form of a name; an empty name stays empty, and a name
    // that cannot be converted is returned unchanged. Symbolic links are not resolved.
    static std::string FullPath(const std::string& strName);

    int32_t m_nResult = 0; // -1 invalid; 0, 1, 2 file names given
    std::string m_strPath1;
    std::string m_strPath2;
    // Follow insertions and deletions: from --align, then as the Select-files dialog last
    // confirmed it.
    bool m_bAlign = false;

private:
    bool Apply(const std::vector<std::string>& names, size_t nOptions);
};
