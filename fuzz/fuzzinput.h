#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A broken invariant is a finding like a crash: libFuzzer keeps the input that aborted.
#define FUZZ_CHECK(bCond)                                                                          \
    do {                                                                                           \
        if (!(bCond)) {                                                                            \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #bCond);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Takes numbers and bytes off the front of a fuzz input; past its end everything is 0, so
// that a short input still means something.
class CFuzzInput {
public:
    CFuzzInput(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}

    template <typename T> T Take() {
        T value{};
        size_t n = std::min(sizeof value, m_nSize - m_nPos);
        std::memcpy(&value, m_pData + m_nPos, n);
        m_nPos += n;
        return value;
    }
    // A value from nLow to nHigh, both included.
    int64_t TakeIn(int64_t nLow, int64_t nHigh) {
        uint64_t nSpan = uint64_t(nHigh - nLow) + 1;
        uint64_t n = Take<uint64_t>();
        return nSpan == 0 ? int64_t(n) : nLow + int64_t(n % nSpan);
    }
    std::vector<uint8_t> TakeBytes(size_t nCount) {
        nCount = std::min(nCount, m_nSize - m_nPos);
        std::vector<uint8_t> bytes(m_pData + m_nPos, m_pData + m_nPos + nCount);
        m_nPos += nCount;
        return bytes;
    }
    std::string Rest() {
        std::string str(reinterpret_cast<const char*>(m_pData) + m_nPos, m_nSize - m_nPos);
        m_nPos = m_nSize;
        return str;
    }
    size_t Left() const { return m_nSize - m_nPos; }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

// A NUL separates one argument from the next, as in /proc/PID/cmdline.
inline std::vector<std::string> SplitArguments(const std::string& strText) {
    std::vector<std::string> args;
    if (strText.empty())
        return args;
    size_t nStart = 0;
    for (;;) {
        size_t nEnd = strText.find('\0', nStart);
        args.push_back(strText.substr(nStart, nEnd - nStart));
        if (nEnd == std::string::npos)
            return args;
        nStart = nEnd + 1;
    }
}
