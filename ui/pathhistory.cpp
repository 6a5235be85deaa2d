#include "ui/pathhistory.h"

#include <algorithm>

void CPathHistory::AddRecent(const std::string& strPath) {
    if (!m_entries.empty() && m_entries.front() == strPath)
        return;
    auto it = std::find(m_entries.begin(), m_entries.end(), strPath);
    if (it != m_entries.end())
        m_entries.erase(it);
    while (!m_entries.empty() && m_entries.size() >= m_nLimit)
        m_entries.pop_back();
    m_entries.insert(m_entries.begin(), strPath);
}
