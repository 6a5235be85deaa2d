#include "view/offscreendc.h"

#include <algorithm>

bool COffscreenDC::Prepare(int32_t cx, int32_t cy) {
    if (cx > 0 && cx <= m_nWidth && cy <= m_nHeight && !m_bitmap.isNull())
        return false;
    m_bitmap = QImage();
    m_nWidth = std::max(m_nWidth, cx);
    m_nHeight = std::max(m_nHeight, cy);
    if (cx >= 0 && m_nWidth > 0 && m_nHeight > 0)
        m_bitmap = QImage(m_nWidth, m_nHeight, QImage::Format_RGB32);
    return true;
}
