#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

class CBlockStateArray;
class CCellGeometry;

// The picture of the map at w x h as the window paints it: every cell's square in the colour
// of its blocks' highest state, no cell selected; 0xFFRRGGBB pixels, row by row. With no
// comparison (both files empty) the background alone. Null when memory ran out.
std::unique_ptr<uint32_t[]> RenderMap(CCellGeometry& geometry, const CBlockStateArray& states,
                                      int32_t w, int32_t h);

// Encodes the w x h pixels (0xFFRRGGBB, row by row) as a PNG into out; false with the reason
// when a write fails.
bool WritePng(std::ostream& out, const uint32_t* pPixels, int32_t w, int32_t h,
              std::string& strError);

// True when both names exist and are the same file, also through a link.
bool IsSameFile(const std::string& strPath1, const std::string& strPath2);

// A PNG file written in one piece: the bytes go to a temporary file beside the target, which
// takes the target's name only once it is complete. A file not committed is removed.
class CPngOutput {
public:
    CPngOutput() = default;
    CPngOutput(const CPngOutput&) = delete;
    CPngOutput& operator=(const CPngOutput&) = delete;
    ~CPngOutput();

    // Creates the temporary file in strPath's folder; false with the reason when it cannot.
    bool Create(const std::string& strPath, std::string& strError);
    // Encodes the w x h pixels (0xFFRRGGBB, row by row) and renames the file into place;
    // false with the reason, and no file left behind, when any step fails.
    bool Commit(const uint32_t* pPixels, int32_t w, int32_t h, std::string& strError);

private:
    std::string m_strPath;
    std::string m_strTemp; // empty once renamed or removed
    int m_fd = -1;
};
