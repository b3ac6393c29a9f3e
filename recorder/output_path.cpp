#include "recorder/output_path.h"

std::string ComposeOutputPath(const std::string& folder, const std::string& fileName) {
    return folder + fileName;
}
