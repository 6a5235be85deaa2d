#pragma once

#include <cstdint>

// Where an open file has data and where it has holes, which read as zeros without being
// stored. Learnt from the file system with SEEK_DATA and SEEK_HOLE for the position asked,
// and remembered as the next data and hole offsets, so that a reader moving forward asks once
// per run of data or hole, not once per block. A file whose holes cannot be learnt (a file
// system without SEEK_DATA, a block device, a file whose size lies) is all data.
class CFileLayout {
public:
    // Forgets what was learnt; from now on describes descriptor fd of nLength bytes, the length
    // the reader goes by. Bytes past the file's current end are data: reading them says more.
    void Reset(int fd, int64_t nLength);
    // Sets bHole and returns where the run of hole or data that holds nPosition ends; a hole
    // ends at the length at most. At or past the length, and in a file without known holes,
    // it is data up to INT64_MAX.
    int64_t RunAt(int64_t nPosition, bool& bHole);
    // True when bytes nPosition to nEnd - 1 all lie in one hole.
    bool IsHole(int64_t nPosition, int64_t nEnd);

private:
    void Learn(int64_t nPosition);

    int m_fd = -1;
    int64_t m_nLength = 0;
    bool m_bKnown = false;  // whether holes can be learnt at all
    int64_t m_nFrom = 0;    // the position last asked about
    int64_t m_nDataAt = 0;  // the first data at or after m_nFrom
    int64_t m_nHoleAt = -1; // the first hole after m_nDataAt; -1 when nothing is learnt
};

// For tests: with false, every file is all data, as the comparison was before it knew holes.
void SetHoleSkipping(bool bSkip);

// True when all nCount bytes at p are zero.
bool IsAllZero(const uint8_t* p, uint64_t nCount);
