#pragma once

#include <cstdint>

// A colour as 0x00BBGGRR, the form the colour tables are written in; converted only when drawn.
using COLORREF = uint32_t;

inline constexpr COLORREF CLR_BLACK = 0x000000;
inline constexpr COLORREF CLR_NAME = 0x600000;  // dark blue: file names and numbers
inline constexpr COLORREF CLR_ERROR = 0x0000C0; // red: a file that cannot be opened
