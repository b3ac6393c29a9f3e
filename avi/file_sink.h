#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/unique_handle.h"
#include "avi/opendml_writer.h"

// A file written through one buffer for the appending tail: small writes gather in the buffer, large
// ones go straight from the caller's memory, and a write elsewhere first hands the buffer over, so the
// system sees every write in the order it was made. A write is made even when handing the buffer over
// failed; the call reports that failure.
class CFileSink : public ByteSink {
public:
    // Creates (or replaces) the file; null when it cannot be created.
    static std::unique_ptr<CFileSink> Create(const std::string& path);
    // Whether Create would succeed, leaving the disk as it is.
    static bool CanCreate(const std::string& path);
    ~CFileSink() override;

    bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    bool Flush() override;
    bool Truncate(uint64_t size) override;

private:
    CFileSink();
    bool WriteThrough(uint64_t offset, const void* data, size_t size);

    UniqueFile m_file;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_used = 0;
    uint64_t m_bufferStart = 0;
};
