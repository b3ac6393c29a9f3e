#pragma once

#include <windows.h>

#include <ctime>
#include <memory>
#include <string>

#include "platform/dialog_base.h"
#include "platform/unique_handle.h"
#include "recorder/avi_capture.h"
#include "recorder/capture_params.h"
#include "ui/source_list.h"
#include "ui/tray_icon.h"

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
    void InitNumberBoxes();
    void CreateAnimation();
    INT_PTR OnCommand(WORD id, WORD code, HWND control);
    INT_PTR OnSysCommand(WPARAM command, LPARAM lp);
    INT_PTR OnPaint();

    // Settings store
    void LoadSettings();
    void SaveSettings();

    // Recording control (recording_control.cpp)
    void ToggleRecording();
    void StartRecording();
    void StopRecording();
    void EnterRecordingState();
    void EnterIdleState();
    void OnCaptureTimer(UINT_PTR timerId);
    void SetStatusText(const std::string& text);
    void EnableRecordingInputs(BOOL enable);
    int32_t ReadSpinPosition(HWND spin, HWND buddy);

    // Capture source list
    void OnResetSources();
    void OnSourceChanged();

    // Notification-area icon
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

    // A recording keeps its own share of the caption font, so replacing it here is always safe.
    SharedFont m_captionFont;
    std::string m_captionFormat;
    int32_t m_captionLocation = 0;
    HICON m_mainIcon; // shared icon from LoadIcon: not destroyed
    bool m_recording = false;
    CaptureParams m_params;
    std::time_t m_endTime = 0;
    std::unique_ptr<CAviCapture> m_capture;
    UniqueWindow m_animation;
    RECT m_animationArea{};
    int32_t m_frameCount = 0;
    CSourceList m_sources;
    CTrayIcon m_tray;
    // Explorer broadcasts this when it re-creates the taskbar; the icon has to be added again.
    UINT m_taskbarCreated = 0;

    // Texts every tick formats, loaded once at start-up.
    std::string m_frameCountFormat;
    std::string m_appTitle;
};
