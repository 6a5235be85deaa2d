#pragma once

#include <string>

// The verdict on one entry of the Select-files dialog: "" when strPath names something worth
// comparing, otherwise "No file" (empty text), "File not found" or "File length is zero".
// The exact name is looked up (no wildcards) and symbolic links are followed.
std::string CheckEntryPath(const std::string& strPath);
