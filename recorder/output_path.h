#pragma once

#include <string>

// The output path is the folder text immediately followed by the file name: no separator is
// inserted, so a folder is either empty (the current folder) or ends in a backslash.
std::string ComposeOutputPath(const std::string& folder, const std::string& fileName);
