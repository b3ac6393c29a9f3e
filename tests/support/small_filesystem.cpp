#include "tests/support/small_filesystem.h"

namespace test_support {

SmallFilesystem::SmallFilesystem(const ScratchFolder& folder, const char* size)
    : m_dir(folder.File("small")) {
    ::CreateDirectoryA(m_dir.c_str(), nullptr);
    int code = -1;
    RunHost("mount -t tmpfs -o size=" + std::string(size) + " mirvox-test " + ShellQuote(HostPath(m_dir)),
            &code);
    m_mounted = code == 0;
}

SmallFilesystem::~SmallFilesystem() {
    if (m_mounted)
        RunHost("umount " + ShellQuote(HostPath(m_dir)));
}

} // namespace test_support
