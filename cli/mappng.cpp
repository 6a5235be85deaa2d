#include "cli/mappng.h"

#include "engine/blockstatearray.h"
#include "engine/inputfile.h"
#include "view/cellgeometry.h"
#include "view/maprender.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

std::unique_ptr<uint32_t[]> RenderMap(CCellGeometry& geometry, const CBlockStateArray& states,
                                      int32_t w, int32_t h) {
    std::unique_ptr<uint32_t[]> pPixels(new (std::nothrow) uint32_t[size_t(w) * size_t(h)]);
    if (!pPixels)
        return pPixels;
    CPixelBuffer buffer(pPixels.get(), ptrdiff_t(w) * 4, w, h);
    if (geometry.m_nTotalLength == 0) {
        buffer.Fill(0, 0, w, h, PixelFromRef(CLR_MAP_BACKGROUND));
        return pPixels;
    }
    std::lock_guard<std::mutex> guard(states.m_lock);
    const CCellGeometry::CPaintNumbers numbers = geometry.PrepareForPaint(w, h);
    std::vector<uint8_t> cells(numbers.nCells);
    for (uint32_t i = 0; i < numbers.nCells; ++i)
        cells[i] = CellState(states.m_pStates.get(), states.m_nCount, i, numbers.nPerCell);
    DrawMap(buffer, w, h, numbers.nPitch, cells, StatePixels(), -1);
    return pPixels;
}

bool IsSameFile(const std::string& strPath1, const std::string& strPath2) {
    struct stat st1;
    struct stat st2;
    return ::stat(strPath1.c_str(), &st1) == 0 && ::stat(strPath2.c_str(), &st2) == 0 &&
           st1.st_dev == st2.st_dev && st1.st_ino == st2.st_ino;
}

CPngOutput::~CPngOutput() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_strTemp.empty())
        ::unlink(m_strTemp.c_str());
}

bool CPngOutput::Create(const std::string& strPath, std::string& strError) {
    m_strPath = strPath;
    // The rename would refuse it only after the whole comparison.
    struct stat st;
    if (::stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        strError = ErrorText(EISDIR);
        return false;
    }
    // Beside the target: a rename within one folder is one step, never a copy. A short name
    // of its own, so that a target name at the length limit still leaves room for it.
    const size_t nSlash = strPath.rfind('/');
    std::string strTemp =
        strPath.substr(0, nSlash == std::string::npos ? 0 : nSlash + 1) + ".quillet-map-XXXXXX";
    m_fd = ::mkstemp(strTemp.data());
    if (m_fd < 0) {
        strError = ErrorText(errno);
        return false;
    }
    m_strTemp = strTemp;
    // mkstemp makes the file private; the picture gets what any new file would.
    const mode_t nMask = ::umask(0);
    ::umask(nMask);
    ::fchmod(m_fd, 0666 & ~nMask);
    return true;
}

namespace {
struct CPngFailure {
    std::jmp_buf jump;
    char szText[200] = {};
};

[[noreturn]] void OnPngError(png_structp pPng, png_const_charp pszText) {
    auto* pFailure = static_cast<CPngFailure*>(png_get_error_ptr(pPng));
    std::snprintf(pFailure->szText, sizeof pFailure->szText, "%s", pszText);
    std::longjmp(pFailure->jump, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void WriteToStream(png_structp pPng, png_bytep pData, png_size_t nCount) {
    auto* pOut = static_cast<std::ostream*>(png_get_io_ptr(pPng));
    if (!pOut->write(reinterpret_cast<const char*>(pData), std::streamsize(nCount)))
        png_error(pPng, "the picture could not be written");
}

void FlushStream(png_structp pPng) {
    static_cast<std::ostream*>(png_get_io_ptr(pPng))->flush();
}

// Encodes the rows into pFile, or through pWrite when it is given; false with libpng's reason
// or the write's errno text.
bool EncodePng(void* pIo, png_rw_ptr pWrite, const uint32_t* pPixels, int32_t w, int32_t h,
               png_bytep pRow, std::string& strError) {
    CPngFailure failure;
    png_structp pPng =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
    png_infop pInfo = pPng ? png_create_info_struct(pPng) : nullptr;
    if (!pInfo) {
        png_destroy_write_struct(&pPng, nullptr);
        strError = ErrorText(ENOMEM);
        return false;
    }
    // Nothing with a destructor lives between here and the jump back.
    if (setjmp(failure.jump)) {
        png_destroy_write_struct(&pPng, &pInfo);
        strError = errno != 0 ? ErrorText(errno) : std::string("PNG: ") + failure.szText;
        return false;
    }
    errno = 0;
    if (pWrite)
        png_set_write_fn(pPng, pIo, pWrite, FlushStream);
    else
        png_init_io(pPng, static_cast<FILE*>(pIo));
    // The map repeats whole rows: the fastest level already packs it tightly.
    png_set_compression_level(pPng, 1);
    png_set_IHDR(pPng, pInfo, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(pPng, pInfo);
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* pSource = pPixels + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x) {
            pRow[3 * x] = png_byte(pSource[x] >> 16);
            pRow[3 * x + 1] = png_byte(pSource[x] >> 8);
            pRow[3 * x + 2] = png_byte(pSource[x]);
        }
        png_write_row(pPng, pRow);
    }
    png_write_end(pPng, pInfo);
    png_destroy_write_struct(&pPng, &pInfo);
    return true;
}
} // namespace

bool CPngOutput::Commit(const uint32_t* pPixels, int32_t w, int32_t h, std::string& strError) {
    if (m_fd < 0 || m_strTemp.empty() || !pPixels || w <= 0 || h <= 0) {
        strError = ErrorText(EINVAL);
        return false;
    }
    std::unique_ptr<png_byte[]> pRow(new (std::nothrow) png_byte[size_t(w) * 3]);
    if (!pRow) {
        strError = ErrorText(ENOMEM);
        return false;
    }
    FILE* pFile = ::fdopen(m_fd, "wb");
    if (!pFile) {
        strError = ErrorText(errno);
        return false;
    }
    m_fd = -1; // the stream closes it
    bool bDone = EncodePng(pFile, nullptr, pPixels, w, h, pRow.get(), strError);
    if (bDone && std::fflush(pFile) != 0) {
        strError = ErrorText(errno);
        bDone = false;
    }
    if (std::fclose(pFile) != 0 && bDone) {
        strError = ErrorText(errno);
        bDone = false;
    }
    if (!bDone)
        return false;
    if (::rename(m_strTemp.c_str(), m_strPath.c_str()) != 0) {
        strError = ErrorText(errno);
        return false;
    }
    m_strTemp.clear();
    return true;
}

bool WritePng(std::ostream& out, const uint32_t* pPixels, int32_t w, int32_t h,
              std::string& strError) {
    std::unique_ptr<png_byte[]> pRow(new (std::nothrow) png_byte[size_t(w) * 3]);
    if (!pRow) {
        strError = ErrorText(ENOMEM);
        return false;
    }
    if (!EncodePng(&out, WriteToStream, pPixels, w, h, pRow.get(), strError))
        return false;
    if (!out.flush()) {
        strError = ErrorText(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}
