#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The paths confirmed in one entry of the Select-files dialog, most recent first, for this
// run only. Names compare exactly: file names are case-sensitive here.
class CPathHistory {
public:
    explicit CPathHistory(uint32_t nLimit = 16) : m_nLimit(nLimit) {}

    // Puts strPath first, dropping an equal older entry and, beyond the limit, the oldest;
    // a path that is already first leaves the list as it is.
    void AddRecent(const std::string& strPath);
    const std::vector<std::string>& GetEntries() const { return m_entries; }

private:
    std::vector<std::string> m_entries;
    uint32_t m_nLimit;
};
