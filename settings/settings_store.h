#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "settings/settings_decode.h"

// The per-user settings: HKEY_CURRENT_USER\Software\<company>\<application>\Option. Every
// operation, reads included, creates the keys that are missing; value names are matched by the
// registry without regard to case. Failures read as absent values and writes are not checked.
class CSettingsStore {
public:
    // Names the store for the whole program, once at start-up, before any access to it.
    static void SetCompanyKey(std::string company);

    // The store under the company key named at start-up.
    CSettingsStore();
    // The application key is the running executable's base name.
    explicit CSettingsStore(std::string company);

    // The stored text when the value exists as a string, even an empty one; otherwise fallback.
    std::string ReadString(const char* name, const std::string& fallback) const;
    void WriteString(const char* name, const std::string& text) const;
    // The stored bytes when the value exists as binary data.
    std::optional<std::vector<uint8_t>> ReadBinary(const char* name) const;
    void WriteBinary(const char* name, std::span<const uint8_t> bytes) const;

private:
    std::string SectionPath() const;
    UniqueHKey OpenSection() const;
    std::optional<StoredValue> ReadValue(const char* name) const;

    std::string m_company;
    std::string m_application;
};

// Reads the eight values in their fixed order under their read names ("path", "file").
// defaultFont is used when "LFont" is absent or unusable.
RecorderSettings LoadRecorderSettings(const CSettingsStore& store, const FontRecord& defaultFont);
// Writes the eight values in the same order under their written names ("Path", "File").
void SaveRecorderSettings(const CSettingsStore& store, const RecorderSettings& settings);

// The stock variable-pitch font's description with the face replaced and weight 700.
FontRecord DefaultCaptionFont(const char* face);

LOGFONTA ToLogFont(const FontRecord& font);
FontRecord FromLogFont(const LOGFONTA& font);
