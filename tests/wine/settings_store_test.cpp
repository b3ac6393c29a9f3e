// The settings store on the real registry: an empty store, a restart, and what others left there.
#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <process.h>

#include <cstring>
#include <functional>

#include "res/resource.h"
#include "tests/support/test_support.h"

namespace {

constexpr char kCompany[] = "Veldrane Products", kChildMarker[] = "MIRVOX_SETTINGS_CHILD";
constexpr char kApplicationKey[] = "Software\\Veldrane Products\\settings_store_test"; // the exe's name

std::string CaptionFace() {
    char face[LF_FACESIZE] = {};
    ::LoadStringA(nullptr, IDS_CAPTION_FACE, face, LF_FACESIZE);
    return face;
}

RecorderSettings Defaults() {
    return {1, 4, "", "Mirvox.avi", DefaultCaptionFont(CaptionFace().c_str()), "%a, %d %b %Y %H:%M:%S %z",
            0, 1};
}

// Every value away from its default; the folder's "表" (0x95 0x5C) carries a backslash byte.
RecorderSettings Saved() {
    FontRecord font = DefaultCaptionFont("Arial");
    font.lfHeight = -24;
    return {25, 30, "C:\\\x95\x5C\\", "clip.avi", font, "%Y-%m-%d", 4, 0};
}

RecorderSettings Load() {
    return LoadRecorderSettings(CSettingsStore(kCompany), Defaults().font);
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kApplicationKey); }
    void TearDown() override { SetUp(); }
};

} // namespace

TEST_F(SettingsStore, EmptyStoreGivesTheDefaultsAndCreatesItsKeys) {
    EXPECT_EQ(Load(), Defaults());
    HKEY key = nullptr;
    EXPECT_FALSE(::RegOpenKeyExA(HKEY_CURRENT_USER, (kApplicationKey + std::string("\\Option")).c_str(), 0,
                                 KEY_READ, &key));
    ::RegCloseKey(key);
    // The first caption font: the stock variable font's record with string 119's face, weight 700.
    LOGFONTA stock{};
    ::GetObjectA(::GetStockObject(ANSI_VAR_FONT), sizeof(stock), &stock);
    ASSERT_EQ(CaptionFace(), "\x82l\x82r \x82o\x83S\x83V\x83"
                             "b\x83N"); // "ＭＳ Ｐゴシック"
    std::strcpy(stock.lfFaceName, CaptionFace().c_str());
    stock.lfWeight = 700;
    EXPECT_EQ(Defaults().font, FromLogFont(stock));
    EXPECT_NE(stock.lfHeight, 0);
}

// The second half of the restart test, run as its own process by the first half.
TEST(SettingsStoreRestart, ChildReadsBack) {
    if (!std::getenv(kChildMarker))
        GTEST_SKIP() << "runs only as the child of SavedSettingsSurviveARestart";
    EXPECT_EQ(Load(), Saved());
}

TEST_F(SettingsStore, SavedSettingsSurviveARestart) {
    SaveRecorderSettings(CSettingsStore(kCompany), Saved());
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    ::_putenv_s(kChildMarker, "1");
    const intptr_t status =
        ::_spawnl(_P_WAIT, exe, "child", "--gtest_filter=SettingsStoreRestart.*", nullptr);
    ::_putenv_s(kChildMarker, "");
    EXPECT_EQ(status, 0) << "the restarted program read other settings";
}

TEST_F(SettingsStore, BadStoredValuesReadAsAbsentOrAsStored) {
    const std::string longText = std::string(99'999, 'a') + "z";
    using Expect = std::function<void(RecorderSettings&)>;
    const Expect absent = [](RecorderSettings&) {};
    for (const auto& [name, type, bytes, expect] :
         {std::tuple<const char*, DWORD, std::string, Expect>{"Rate", REG_DWORD, {"\x19\0\0\0", 4}, absent},
          {"Rate", REG_BINARY, {"\xF4\x01\0\0", 4}, [](auto& s) { s.rate = 500; }},
          {"Location", REG_BINARY, {"\x63\0\0\0", 4}, [](auto& s) { s.location = 99; }},
          {"LFont", REG_SZ, {"Arial\0", 6}, absent},
          {"file", REG_EXPAND_SZ, {"%TEMP%.avi\0", 11}, absent},
          {"CaptionString", REG_SZ, {"\0", 1}, [](auto& s) { s.captionFormat = ""; }},
          {"CaptionString", REG_SZ, longText + '\0', [&](auto& s) { s.captionFormat = longText; }}}) {
        SCOPED_TRACE(std::string(name) + " of type " + std::to_string(type) + ", " +
                     std::to_string(bytes.size()));
        SetUp();
        ASSERT_TRUE(test_support::SetRegistryValue(HKEY_CURRENT_USER,
                                                   kApplicationKey + std::string("\\Option"), name, type,
                                                   bytes.data(), bytes.size()));
        RecorderSettings expected = Defaults();
        expect(expected);
        EXPECT_EQ(Load(), expected);
    }
}
