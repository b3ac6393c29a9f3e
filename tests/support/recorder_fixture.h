#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace test_support {

// The settings key this test program's recorder uses (named after the test executable).
std::string SettingsKeyPath();
// Removes the test program's settings key, so the recorder starts from an empty store.
void DeleteSettingsKey();
// Writes one value under the Option section, as a previous run would have left it.
void WriteStoredString(const char* name, const std::string& value);
void WriteStoredInt(const char* name, int32_t value);

// Starts every test from an empty store, common controls registered and the store named.
class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the recorder window modally; `drive` works it from a second thread once the window's
    // modal loop has gone idle for the first time. (The dialog manager shows a modal dialog
    // normally at that moment, which would undo a minimise made before it.)
    static void RunRecorder(const std::function<void(HWND)>& drive);
};

} // namespace test_support
