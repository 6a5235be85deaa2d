#pragma once

#include <string>

// Paths are bytes, the widgets show text. Valid UTF-8 reads as itself and every other byte
// as one lone code unit U+DC80..U+DCFF, so any path survives the trip to text and back.

// The text (UTF-16) that shows strPath; never fails.
std::u16string PathToText(const std::string& strPath);
// The path that strText shows: the inverse of PathToText. A lone code unit outside
// U+DC80..U+DCFF, which PathToText never makes, becomes U+FFFD.
std::string TextToPath(const std::u16string& strText);
