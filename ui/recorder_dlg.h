#pragma once

#include <windows.h>

#include <array>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog_base.h"
#include "platform/unique_handle.h"
#include "recorder/avi_capture.h"
#include "recorder/capture_params.h"
#include "ui/tray_tip.h"
#include "ui/window_entry.h"

// The program's main window: every setting of a recording, Start/Stop, the frame counter, the
// animation and the notification-area icon.
class CRecorderDlg : public CDialogBase {
public:
    explicit CRecorderDlg(HWND parent = nullptr);
    ~CRecorderDlg() override;

protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnInitDialog() override;
    void OnOK() override; // ToggleRecording; never closes the dialog
    void OnCancel() override;
    void OnDestroyWindow() override;

private:
    void BindControls();
    INT_PTR OnCommand(WORD id, WORD code, HWND control);
    INT_PTR OnSysCommand(WPARAM command, LPARAM lp);
    INT_PTR OnPaint();

    // Settings store
    void LoadSettings();
    void SaveSettings();

    // Recording control
    void ToggleRecording();
    void ApplyRecordingState();
    void OnCaptureTimer(UINT_PTR timerId);
    void SetStatusText(const std::string& text);
    void EnableRecordingInputs(BOOL enable);

    // Capture source list
    void FillSourceList();
    void ClearSourceList();
    static BOOL CALLBACK EnumSourceWindow(HWND window, LPARAM recorder) noexcept;
    void OnResetSources();
    void OnSourceChanged();

    // Notification-area icon
    void TrayNotify(DWORD operation, HICON icon, const char* tip);
    void UpdateTrayStatus(int32_t count);
    INT_PTR OnTrayCallback(WPARAM wp, LPARAM lp);
    void OnTrayStartStop();
    void OnTrayAbout();

    // Caption settings and output file
    void OnCaptionSettings();
    void OnBrowse();

    void RunAboutBox();

    // Controls, bound in this order by BindControls.
    HWND m_fpsSpin = nullptr;
    HWND m_fpsBox = nullptr;
    HWND m_captionCheck = nullptr;
    HWND m_timeLimitBox = nullptr;
    HWND m_resetButton = nullptr;
    HWND m_browseButton = nullptr;
    HWND m_sourceBox = nullptr;
    HWND m_statusBox = nullptr;
    HWND m_startStopButton = nullptr;
    HWND m_rateSpin = nullptr;
    HWND m_rateBox = nullptr;
    HWND m_fileNameBox = nullptr;

    // Caption fonts are never released: a running recording may still draw with a replaced one.
    HFONT m_captionFont = nullptr;
    std::string m_captionFormat = "%a, %d %b %Y %H:%M:%S %z";
    int32_t m_captionLocation = 0;
    HICON m_mainIcon; // shared icon from LoadIcon: not destroyed
    int32_t m_recording = 0;
    CaptureParams m_params;
    std::time_t m_endTime = 0;
    std::unique_ptr<CAviCapture> m_capture;
    UniqueWindow m_animation;
    RECT m_animationArea{};
    int32_t m_frameCount = 0;
    std::vector<std::unique_ptr<WindowEntry>> m_windowEntries;
    HICON m_idleTrayIcon = nullptr;
    std::array<HICON, 3> m_recordingTrayIcons{};
    UniqueMenu m_popupMenu;

    // Texts every tick formats, loaded once at start-up.
    std::string m_frameCountFormat;
    TrayTipTexts m_tipTexts;
};
