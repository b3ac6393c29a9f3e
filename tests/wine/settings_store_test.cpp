#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/app_name.h"

namespace {

constexpr const char* kCompany = "Veldrane Products";
constexpr const char* kApplicationKey = "Software\\Veldrane Products\\settings_store_test";
constexpr const char* kSectionKey = "Software\\Veldrane Products\\settings_store_test\\Option";
constexpr const char* kChildMarker = "MIRVOX_SETTINGS_CHILD";
const char* const kFace = "\x82l\x82r \x82o\x83S\x83V\x83"
                          "b\x83N"; // "ＭＳ Ｐゴシック"

using Bytes = std::vector<uint8_t>;

void DeleteApplicationKey() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kApplicationKey);
}

bool SectionExists() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

// Writes a value as another program (or an older version) might have left it.
void WriteRaw(const char* name, DWORD type, const Bytes& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    UniqueHKey owner(key);
    ASSERT_EQ(::RegSetValueExA(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Int32Bytes(int32_t value) {
    std::array<uint8_t, 4> bytes = EncodeInt32(value);
    return Bytes(bytes.begin(), bytes.end());
}

FontRecord SampleFont() {
    FontRecord font;
    font.lfHeight = -24;
    font.lfWidth = 11;
    font.lfEscapement = 900;
    font.lfOrientation = 450;
    font.lfWeight = 400;
    font.lfItalic = 1;
    font.lfStrikeOut = 1;
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfClipPrecision = CLIP_LH_ANGLES;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    SetFaceName(font, kFace);
    return font;
}

Bytes FontBytes(const FontRecord& font) {
    std::array<uint8_t, kFontRecordSize> bytes = EncodeFontRecord(font);
    return Bytes(bytes.begin(), bytes.end());
}

// Every field away from its default; the folder's "表" (0x95 0x5C) carries a backslash byte.
RecorderSettings NonDefaultSettings() {
    RecorderSettings settings;
    settings.rate = 25;
    settings.fps = 30;
    settings.folder = "C:\\\x95\x5C\\";
    settings.fileName = "clip.avi";
    settings.font = SampleFont();
    settings.captionFormat = "%Y-%m-%d";
    settings.location = 4;
    settings.caption = 0;
    return settings;
}

// The settings an empty store yields, spelled out rather than taken from the struct's defaults.
RecorderSettings ExpectedDefaults() {
    RecorderSettings settings;
    settings.rate = 1;
    settings.fps = 4;
    settings.folder = "";
    settings.fileName = "Mirvox.avi";
    settings.font = DefaultCaptionFont(kFace);
    settings.captionFormat = "%a, %d %b %Y %H:%M:%S %z";
    settings.location = 0;
    settings.caption = 1;
    return settings;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { DeleteApplicationKey(); }
    void TearDown() override { DeleteApplicationKey(); }
};

} // namespace

TEST_F(SettingsStore, EmptyStoreGivesEveryDefaultAndCreatesTheKeys) {
    ASSERT_FALSE(SectionExists());
    CSettingsStore store(kCompany);
    EXPECT_EQ(LoadRecorderSettings(store, DefaultCaptionFont(kFace)), ExpectedDefaults());
    EXPECT_TRUE(SectionExists());

    DeleteApplicationKey();
    EXPECT_EQ(store.ReadBinary("Rate"), std::nullopt);
    EXPECT_TRUE(SectionExists());
}

TEST_F(SettingsStore, DefaultCaptionFontIsTheStockFontInBoldWithTheFace) {
    LOGFONTA stock{};
    ASSERT_EQ(::GetObjectA(::GetStockObject(ANSI_VAR_FONT), sizeof(stock), &stock),
              static_cast<int>(sizeof(stock)));
    FontRecord font = DefaultCaptionFont(kFace);
    EXPECT_EQ(FaceNameOf(font), kFace);
    EXPECT_EQ(font.lfWeight, 700);
    FontRecord expected = FromLogFont(stock);
    expected.lfWeight = 700;
    SetFaceName(expected, kFace);
    EXPECT_EQ(font, expected);
    EXPECT_NE(font.lfHeight, 0);

    LOGFONTA back = ToLogFont(font);
    EXPECT_EQ(back.lfHeight, stock.lfHeight);
    EXPECT_EQ(back.lfCharSet, stock.lfCharSet);
    EXPECT_STREQ(back.lfFaceName, kFace);
}

TEST_F(SettingsStore, ValuesAreStoredUnderTheWrittenNamesWithTheirTypes) {
    CSettingsStore store(kCompany);
    SaveRecorderSettings(store, NonDefaultSettings());

    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    UniqueHKey owner(key);
    struct Expected {
        const char* name;
        DWORD type, size;
    };
    const Expected expected[] = {{"Rate", REG_BINARY, 4},     {"Frames", REG_BINARY, 4},
                                 {"Path", REG_SZ, 7},         {"File", REG_SZ, 9},
                                 {"LFont", REG_BINARY, 60},   {"CaptionString", REG_SZ, 9},
                                 {"Location", REG_BINARY, 4}, {"Caption", REG_BINARY, 4}};
    DWORD count = 0;
    ASSERT_EQ(::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                                 nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(count, std::size(expected));
    for (DWORD i = 0; i < count; ++i) {
        char name[64];
        DWORD nameLength = sizeof(name), type = 0, size = 0;
        ASSERT_EQ(::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        auto match = std::find_if(std::begin(expected), std::end(expected),
                                  [&](const Expected& e) { return std::string(e.name) == name; });
        ASSERT_NE(match, std::end(expected)) << "unexpected value " << name;
        EXPECT_EQ(type, match->type) << name;
        EXPECT_EQ(size, match->size) << name;
    }
    EXPECT_EQ(store.ReadString("path", "none"), "C:\\\x95\x5C\\");
    EXPECT_EQ(store.ReadString("FILE", "none"), "clip.avi");
}

// The second half of the restart test, run as its own process by the first half.
TEST(SettingsStoreRestart, ChildReadsBack) {
    if (!std::getenv(kChildMarker))
        GTEST_SKIP() << "runs only as the child of SavedSettingsSurviveARestart";
    CSettingsStore store(kCompany);
    EXPECT_EQ(LoadRecorderSettings(store, DefaultCaptionFont(kFace)), NonDefaultSettings());
}

TEST_F(SettingsStore, SavedSettingsSurviveARestart) {
    {
        CSettingsStore store(kCompany);
        SaveRecorderSettings(store, NonDefaultSettings());
    }
    char exe[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameA(nullptr, exe, sizeof(exe)), 0u);
    std::string commandLine =
        std::string("\"") + exe + "\" --gtest_filter=SettingsStoreRestart.ChildReadsBack";
    ASSERT_TRUE(::SetEnvironmentVariableA(kChildMarker, "1"));
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &process);
    ::SetEnvironmentVariableA(kChildMarker, nullptr);
    ASSERT_TRUE(started);
    UniqueFile child(process.hProcess);
    UniqueFile thread(process.hThread);
    ASSERT_EQ(::WaitForSingleObject(child.get(), 60'000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ASSERT_TRUE(::GetExitCodeProcess(child.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u) << "the restarted program read different settings";
}

TEST_F(SettingsStore, BadStoredValuesReadAsAbsentOrAsStored) {
    std::string face32(32, 'A');
    Bytes unterminated = FontBytes(SampleFont());
    std::copy(face32.begin(), face32.end(), unterminated.begin() + 28);
    FontRecord terminated = SampleFont();
    SetFaceName(terminated, std::string(31, 'A').c_str());
    Bytes longFont = FontBytes(SampleFont());
    longFont.insert(longFont.end(), {1, 2, 3, 4});
    Bytes shortFont = FontBytes(SampleFont());
    shortFont.pop_back();

    struct Case {
        const char* label;
        const char* name;
        DWORD type;
        Bytes bytes;
        std::function<void(RecorderSettings&)> expect;
    };
    auto same = [](RecorderSettings&) {};
    const Case cases[] = {
        {"short binary", "Rate", REG_BINARY, {7, 0}, same},
        {"empty binary", "Caption", REG_BINARY, {}, same},
        {"long binary", "Frames", REG_BINARY, {30, 0, 0, 0, 9, 9, 9, 9}, [](auto& s) { s.fps = 30; }},
        {"REG_DWORD for binary", "Rate", REG_DWORD, Int32Bytes(25), same},
        {"REG_SZ for binary", "Rate", REG_SZ, ToBytes(std::string("25\0", 3)), same},
        {"rate 500", "Rate", REG_BINARY, Int32Bytes(500), [](auto& s) { s.rate = 500; }},
        {"location 99", "Location", REG_BINARY, Int32Bytes(99), [](auto& s) { s.location = 99; }},
        {"caption 7", "Caption", REG_BINARY, Int32Bytes(7), [](auto& s) { s.caption = 7; }},
        {"negative frames", "Frames", REG_BINARY, Int32Bytes(-3), [](auto& s) { s.fps = -3; }},
        {"REG_SZ for font", "LFont", REG_SZ, ToBytes(std::string("Arial\0", 6)), same},
        {"short font", "LFont", REG_BINARY, shortFont, same},
        {"long font", "LFont", REG_BINARY, longFont, [](auto& s) { s.font = SampleFont(); }},
        {"unterminated face", "LFont", REG_BINARY, unterminated, [&](auto& s) { s.font = terminated; }},
        {"binary for folder", "path", REG_BINARY, ToBytes(std::string("C:\\\0", 4)), same},
        {"binary for file", "File", REG_BINARY, ToBytes(std::string("a.avi\0", 6)), same},
        {"REG_EXPAND_SZ for file", "file", REG_EXPAND_SZ, ToBytes(std::string("%TEMP%.avi\0", 11)), same},
        {"empty string", "CaptionString", REG_SZ, Bytes{0}, [](auto& s) { s.captionFormat = ""; }},
        {"string without NUL", "File", REG_SZ, ToBytes("x.avi"), [](auto& s) { s.fileName = "x.avi"; }},
        {"folder in other case", "PATH", REG_SZ, ToBytes(std::string("D:\\\0", 4)),
         [](auto& s) { s.folder = "D:\\"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteApplicationKey();
        WriteRaw(c.name, c.type, c.bytes);
        RecorderSettings expected = ExpectedDefaults();
        c.expect(expected);
        CSettingsStore store(kCompany);
        EXPECT_EQ(LoadRecorderSettings(store, DefaultCaptionFont(kFace)), expected);
    }
}

TEST_F(SettingsStore, LongStringsAreReadWhole) {
    std::string text(100'000, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);
    WriteRaw("CaptionString", REG_SZ, ToBytes(text + '\0'));
    CSettingsStore store(kCompany);
    EXPECT_EQ(LoadRecorderSettings(store, DefaultCaptionFont(kFace)).captionFormat, text);

    std::string longer = text + text;
    store.WriteString("file", longer);
    EXPECT_EQ(store.ReadString("File", ""), longer);
    Bytes binary(70'000, 0x5A);
    store.WriteBinary("Blob", binary);
    EXPECT_EQ(store.ReadBinary("blob"), binary);
}

TEST_F(SettingsStore, ApplicationKeyIsTheExecutableName) {
    EXPECT_EQ(ExecutableBaseName(), "settings_store_test");
    CSettingsStore store(kCompany);
    store.WriteString("File", "x.avi");
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    UniqueHKey owner(key);
    char text[16] = {};
    DWORD size = sizeof(text), type = 0;
    ASSERT_EQ(::RegQueryValueExA(key, "file", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(text, "x.avi");
}

TEST_F(SettingsStore, EmptyValuesArePresent) {
    CSettingsStore store(kCompany);
    EXPECT_EQ(store.ReadString("Path", "absent"), "absent");
    EXPECT_EQ(store.ReadBinary("Rate"), std::nullopt);
    store.WriteString("Path", "");
    store.WriteBinary("Rate", Bytes{});
    EXPECT_EQ(store.ReadString("path", "absent"), "");
    EXPECT_EQ(store.ReadBinary("rate"), Bytes{});
    EXPECT_EQ(LoadRecorderSettings(store, DefaultCaptionFont(kFace)).rate, 1);
}
