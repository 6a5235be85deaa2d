#pragma once

#include <cstdint>
#include <string>

// Formats one line of a hex dump: the offset prefix, then one "%c%02X" field per byte with
// a hyphen before every fourth byte and three blanks for a byte past the data.
class CHexLine {
public:
    explicit CHexLine(int32_t nPerLine) { SetBytesPerLine(nPerLine); }

    // Bytes per line; the buffer grows to nPerLine * 3 + 20 when it is too small.
    void SetBytesPerLine(int32_t nPerLine);
    // The line at data position nPos (the file offset is m_nBase + nPos), with
    // m_nHexColumn set to the prefix length; empty when no byte of the line is in the data.
    const std::string& FormatLine(int32_t nPos);

    std::string m_pText;              // the line being built
    int32_t m_nTextSize = 0;          // capacity reserved for m_pText
    int32_t m_nPerLine = 0;           // bytes per line
    int32_t m_nSizedFor = 0;          // the bytes per line the buffer was last sized for
    const uint8_t* m_pData = nullptr; // the bytes being dumped, not owned
    int32_t m_nDataLen = 0;           // valid bytes at m_pData
    uint64_t m_nBase = 0;             // file offset of m_pData[0]
    int32_t m_nHexColumn = 0;         // column of the separator before the line's first byte
    int32_t m_nAddrBits = 0;          // 32: "%08X:" prefix; 64: "%08X`%08X:"
    // Null, or one per data byte: 0 shows the byte, anything else stands twice in its place
    // (".." where a file has no byte against the other's). Not owned.
    const char* m_pMarks = nullptr;
};

// Brackets the field whose separator stands at column c of a formatted line, as a byte that
// differs from the other file's: "[" before it, "]" after, a bracket pair between two such
// neighbours merged into a blank. Past the last field the closing bracket lengthens the line.
void BracketField(std::string& strLine, size_t c);
