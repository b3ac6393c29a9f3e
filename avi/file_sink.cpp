#include "avi/file_sink.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBufferBytes = 64 * 1024;
// Larger writes (frames) go straight from the caller's memory: the file write is their only copy.
constexpr size_t kDirectWriteBytes = 4096;
constexpr DWORD kMaxWrite = 1u << 30;

} // namespace

std::unique_ptr<CFileSink> CFileSink::Create(const std::string& path) {
    std::unique_ptr<CFileSink> sink(new CFileSink); // memory first: nothing to undo on disk if it fails
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    sink->m_file.reset(file);
    return sink;
}

// An existing file is opened for writing and closed. Otherwise a file is created there and deleted
// as its handle closes (even if this process dies first): unlike a look at the folder, that also
// finds a name the file system refuses, a read-only folder or medium and missing rights.
bool CFileSink::CanCreate(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        file = ::CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

CFileSink::CFileSink() : m_buffer(new uint8_t[kBufferBytes]) {}

CFileSink::~CFileSink() {
    Flush();
}

bool CFileSink::WriteThrough(uint64_t offset, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD chunk = size > kMaxWrite ? kMaxWrite : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(m_file.get(), p, chunk, &written, &at) || written == 0)
            return false;
        p += written;
        offset += written;
        size -= written;
    }
    return true;
}

bool CFileSink::Flush() {
    if (m_used == 0)
        return true;
    const size_t used = m_used;
    m_used = 0;
    return WriteThrough(m_bufferStart, m_buffer.get(), used);
}

bool CFileSink::WriteAt(uint64_t offset, const void* data, size_t size) {
    const bool appends = offset == m_bufferStart + m_used;
    if (appends && size < kDirectWriteBytes && m_used + size <= kBufferBytes) {
        if (m_used == 0)
            m_bufferStart = offset;
        std::memcpy(m_buffer.get() + m_used, data, size);
        m_used += size;
        return true;
    }
    const bool flushed = Flush();
    if (size < kDirectWriteBytes) {
        m_bufferStart = offset;
        std::memcpy(m_buffer.get(), data, size);
        m_used = size;
        return flushed;
    }
    return WriteThrough(offset, data, size) && flushed;
}

// Cutting gives room back, so it works on a full disk.
bool CFileSink::Truncate(uint64_t size) {
    m_used =
        m_bufferStart >= size ? 0 : static_cast<size_t>(std::min<uint64_t>(m_used, size - m_bufferStart));
    const bool flushed = Flush();
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(m_file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_file.get()) &&
           flushed;
}
