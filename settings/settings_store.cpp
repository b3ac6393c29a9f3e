#include "settings/settings_store.h"

#include <cstring>
#include <utility>

#include "platform/app_name.h"

static_assert(sizeof(LOGFONTA) == kFontRecordSize);
static_assert(kStoredString == REG_SZ && kStoredExpandString == REG_EXPAND_SZ &&
              kStoredBinary == REG_BINARY && kStoredDword == REG_DWORD);

namespace {

constexpr const char* kSection = "Option";

} // namespace

namespace {
std::string g_companyKey;
} // namespace

void CSettingsStore::SetCompanyKey(std::string company) {
    g_companyKey = std::move(company);
}

CSettingsStore::CSettingsStore() : CSettingsStore(g_companyKey) {}

CSettingsStore::CSettingsStore(std::string company)
    : m_company(std::move(company)), m_application(ExecutableBaseName()) {}

std::string CSettingsStore::SectionPath() const {
    return "Software\\" + m_company + "\\" + m_application + "\\" + kSection;
}

UniqueHKey CSettingsStore::OpenSection() const {
    UniqueHKey key;
    if (m_company.empty() || m_application.empty())
        return key;
    HKEY opened = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, SectionPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &opened, nullptr) == ERROR_SUCCESS)
        key.reset(opened);
    return key;
}

std::optional<StoredValue> CSettingsStore::ReadValue(const char* name) const {
    UniqueHKey key = OpenSection();
    if (!key)
        return std::nullopt;
    StoredValue value;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    // Another writer may enlarge the value between the two calls; a few rounds settle that.
    for (int attempt = 0; attempt < 8; ++attempt) {
        value.bytes.resize(size);
        DWORD type = 0;
        DWORD got = size;
        LSTATUS status = ::RegQueryValueExA(key.get(), name, nullptr, &type, value.bytes.data(), &got);
        if (status == ERROR_SUCCESS && got <= size) {
            value.type = type;
            value.bytes.resize(got);
            return value;
        }
        if (status != ERROR_MORE_DATA)
            return std::nullopt;
        size = got > size ? got : size * 2 + 64;
    }
    return std::nullopt;
}

std::string CSettingsStore::ReadString(const char* name, const std::string& fallback) const {
    std::optional<StoredValue> value = ReadValue(name);
    std::optional<std::string> text = value ? DecodeString(*value) : std::nullopt;
    return text ? *text : fallback;
}

void CSettingsStore::WriteString(const char* name, const std::string& text) const {
    if (UniqueHKey key = OpenSection())
        ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
}

std::optional<std::vector<uint8_t>> CSettingsStore::ReadBinary(const char* name) const {
    std::optional<StoredValue> value = ReadValue(name);
    return value ? DecodeBinary(*value) : std::nullopt;
}

void CSettingsStore::WriteBinary(const char* name, std::span<const uint8_t> bytes) const {
    if (UniqueHKey key = OpenSection())
        ::RegSetValueExA(key.get(), name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

namespace {

std::optional<int32_t> ReadInt32(const CSettingsStore& store, const char* name) {
    std::optional<std::vector<uint8_t>> bytes = store.ReadBinary(name);
    return bytes ? DecodeInt32(*bytes) : std::nullopt;
}

} // namespace

RecorderSettings LoadRecorderSettings(const CSettingsStore& store, const FontRecord& defaultFont) {
    const RecorderSettings defaults;
    RecorderSettings settings;
    settings.rate = ReadInt32(store, "Rate").value_or(defaults.rate);
    settings.fps = ReadInt32(store, "Frames").value_or(defaults.fps);
    settings.folder = store.ReadString("path", defaults.folder);
    settings.fileName = store.ReadString("file", defaults.fileName);
    std::optional<std::vector<uint8_t>> font = store.ReadBinary("LFont");
    settings.font = (font ? DecodeFontRecord(*font) : std::nullopt).value_or(defaultFont);
    settings.captionFormat = store.ReadString("CaptionString", defaults.captionFormat);
    settings.location = ReadInt32(store, "Location").value_or(defaults.location);
    settings.caption = ReadInt32(store, "Caption").value_or(defaults.caption);
    return settings;
}

void SaveRecorderSettings(const CSettingsStore& store, const RecorderSettings& settings) {
    store.WriteBinary("Rate", EncodeInt32(settings.rate));
    store.WriteBinary("Frames", EncodeInt32(settings.fps));
    store.WriteString("Path", settings.folder);
    store.WriteString("File", settings.fileName);
    store.WriteBinary("LFont", EncodeFontRecord(settings.font));
    store.WriteString("CaptionString", settings.captionFormat);
    store.WriteBinary("Location", EncodeInt32(settings.location));
    store.WriteBinary("Caption", EncodeInt32(settings.caption));
}

FontRecord DefaultCaptionFont(const char* face) {
    // Should the stock font be unavailable, the zeroed description still carries face and weight.
    LOGFONTA stock{};
    ::GetObjectA(::GetStockObject(ANSI_VAR_FONT), sizeof(stock), &stock);
    FontRecord font = FromLogFont(stock);
    SetFaceName(font, face);
    font.lfWeight = FW_BOLD;
    return font;
}

LOGFONTA ToLogFont(const FontRecord& font) {
    std::array<uint8_t, kFontRecordSize> bytes = EncodeFontRecord(font);
    LOGFONTA logFont;
    std::memcpy(&logFont, bytes.data(), sizeof(logFont));
    return logFont;
}

FontRecord FromLogFont(const LOGFONTA& font) {
    std::array<uint8_t, kFontRecordSize> bytes;
    std::memcpy(bytes.data(), &font, sizeof(font));
    return *DecodeFontRecord(bytes);
}
