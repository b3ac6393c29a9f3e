#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

// What the recorder's last run left in the test program's Option section (nothing: absent).
std::optional<std::string> ReadStoredString(const char* name);
std::optional<std::vector<uint8_t>> ReadStoredBytes(const char* name);
std::optional<int32_t> ReadStoredInt(const char* name);
void WriteStoredBytes(const char* name, const std::vector<uint8_t>& bytes);

// Starts a recording through the command (button 1 or popup command 20001) and accepts the start
// notice; fails the test when the notice does not come.
void StartRecording(HWND recorder, int command = IDOK);
// Waits for a message box over the recorder, checks its text (UTF-8) and dismisses it.
void ExpectMessage(HWND recorder, const char* utf8);

bool IsRecording(HWND recorder); // the Start/Stop button reads "停止(&S)"
bool IsIdle(HWND recorder);      // the Start/Stop button reads "開始(&S)"
// The frame count the status box shows; -1 before the first tick.
int ShownCount(HWND recorder);

// Selects the source box item with this title (ANSI bytes) as the user would: the selection and
// then the box's CBN_SELCHANGE to the recorder. Returns the item's index (-1: not listed).
int ChooseSource(HWND recorder, const std::string& title);
// The source box's items, in order (ANSI bytes).
std::vector<std::string> SourceItems(HWND recorder);

// The process's current folder, set for the scope.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::string& folder);
    ~CurrentFolderScope();
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

private:
    std::string m_previous;
};

} // namespace test_support
