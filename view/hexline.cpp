#include "view/hexline.h"

#include <cstdio>

void CHexLine::SetBytesPerLine(int32_t nPerLine) {
    m_nPerLine = nPerLine;
    if (nPerLine > m_nSizedFor) {
        m_nTextSize = nPerLine * 3 + 20;
        m_pText.reserve(size_t(m_nTextSize));
        m_nSizedFor = nPerLine;
    }
}

const std::string& CHexLine::FormatLine(int32_t nPos) {
    m_pText.clear();
    if (int64_t(nPos) + m_nPerLine <= 0 || nPos >= m_nDataLen)
        return m_pText;
    uint64_t nOffset = m_nBase + uint64_t(int64_t(nPos));
    char szField[24];
    if (m_nAddrBits == 64)
        std::snprintf(szField, sizeof szField, "%08X`%08X:", unsigned(nOffset >> 32),
                      unsigned(nOffset & 0xFFFFFFFFu));
    else
        std::snprintf(szField, sizeof szField, "%08X:", unsigned(nOffset & 0xFFFFFFFFu));
    m_pText = szField;
    m_nHexColumn = int32_t(m_pText.size());
    for (int32_t i = 0; i < m_nPerLine; ++i) {
        int64_t j = int64_t(nPos) + i;
        if (j < 0 || j >= m_nDataLen) {
            m_pText += "   ";
            continue;
        }
        const char cSeparator = i > 0 && i % 4 == 0 ? '-' : ' ';
        if (m_pMarks && m_pMarks[j])
            std::snprintf(szField, sizeof szField, "%c%c%c", cSeparator, m_pMarks[j], m_pMarks[j]);
        else
            std::snprintf(szField, sizeof szField, "%c%02X", cSeparator, unsigned(m_pData[j]));
        m_pText += szField;
    }
    return m_pText;
}

void BracketField(std::string& strLine, size_t c) {
    strLine[c] = strLine[c] == ']' ? ' ' : '[';
    if (c + 3 == strLine.size())
        strLine += ']';
    else
        strLine[c + 3] = ']';
}
