#pragma once

#include <string>

#include "tests/support/test_support.h"

namespace test_support {

// A small tmpfs of our own, mounted from the host side into a scratch folder (needs root there), so
// that a test can fill a disk. Unmounted when the object goes.
class SmallFilesystem {
public:
    SmallFilesystem(const ScratchFolder& folder, const char* size);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    bool mounted() const { return m_mounted; }
    std::string path() const { return m_dir + "\\"; }

private:
    std::string m_dir;
    bool m_mounted = false;
};

} // namespace test_support
