#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// A copy of strText of at most n - 1 bytes (none when n is 0). A cut never leaves the first
// bytes of a UTF-8 character without the rest; bytes that are not UTF-8 are cut where they
// fall.
std::string DupTipText(size_t n, const std::string& strText);

// printf-style formatting into a string of any length; "" when the format is rejected.
std::string FormatTipText(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// The same on a va_list, the result cut to at most nLimit bytes (by DupTipText's rule).
std::string VFormatText(size_t nLimit, const char* pszFormat, va_list args)
    __attribute__((format(printf, 2, 0)));
