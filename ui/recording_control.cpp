#include "ui/recorder_dlg.h"

#include <commctrl.h>

#include <cstdio>

#include "platform/ui_text.h"
#include "res/resource.h"
#include "ui/recording_clock.h"
#include "ui/recording_timing.h"

namespace {

constexpr UINT_PTR kCaptureTimer = 1;
constexpr std::time_t kSecondsPerLimitStep = 1800;

// The controls that feed the capture parameters, in the order they are disabled and enabled.
constexpr int kRecordingInputs[] = {IDC_SOURCE, IDC_RATE_SPIN, IDC_FPS_SPIN, IDC_FILE_NAME, IDC_RATE,
                                    IDC_FPS,    IDC_RESET,     IDC_BROWSE,   IDC_TIME_LIMIT};

// Formats one of our own string-table texts, whose placeholders are known.
template <typename... Args> std::string FormatText(const std::string& format, Args... args) {
    int length = std::snprintf(nullptr, 0, format.c_str(), args...);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), args...);
    text.resize(static_cast<size_t>(length));
    return text;
}

} // namespace

void CRecorderDlg::ToggleRecording() {
    if (m_recording)
        StopRecording();
    else
        StartRecording();
}

// Reading the position takes a valid number from the buddy box and clamps it to the range; the box
// then shows the value the recording uses, not what was typed.
int32_t CRecorderDlg::ReadSpinPosition(HWND spin, HWND buddy) {
    const auto value = static_cast<int32_t>(::SendMessageA(spin, UDM_GETPOS32, 0, 0));
    SetWindowNumber(buddy, value);
    return value;
}

void CRecorderDlg::StartRecording() {
    m_frameCount = 0;
    m_params.rate = ReadSpinPosition(m_rateSpin, m_rateBox);
    m_params.fps = ReadSpinPosition(m_fpsSpin, m_fpsBox);
    m_params.targetWindow = m_sources.WindowOfItem(m_sources.Selection());

    ShowMessage(hwnd(), FormatText(LoadResString(IDS_START_NOTICE), m_appTitle.c_str()), m_appTitle);

    const auto captionEnabled = static_cast<int32_t>(::SendMessageA(m_captionCheck, BM_GETCHECK, 0, 0));
    auto capture = std::make_unique<CAviCapture>(hwnd(), m_captionFont, m_captionFormat, captionEnabled,
                                                 m_captionLocation);
    if (!capture->Open(&m_params)) {
        capture.reset();
        ShowMessage(hwnd(), LoadResString(IDS_INIT_FAILED), m_appTitle);
        EnterIdleState();
        return;
    }
    m_capture = std::move(capture);
    m_recording = true;
    EnterRecordingState();
}

void CRecorderDlg::StopRecording() {
    m_recording = false;
    EnterIdleState();
}

void CRecorderDlg::EnterRecordingState() {
    const LRESULT limit = ::SendMessageA(m_timeLimitBox, CB_GETCURSEL, 0, 0);
    m_endTime = CurrentTime() + static_cast<std::time_t>(limit) * kSecondsPerLimitStep;
    if (m_params.targetWindow)
        ::SetForegroundWindow(m_params.targetWindow);
    else
        ::ShowWindow(hwnd(), SW_MINIMIZE);
    ::SendMessageA(m_animation.get(), ACM_PLAY, static_cast<WPARAM>(-1), static_cast<LPARAM>(-1));
    UpdateTrayStatus(0);
    EnableRecordingInputs(FALSE);
    ::SetTimer(hwnd(), kCaptureTimer, static_cast<UINT>(TickIntervalMs(m_params.rate, m_params.fps)),
               nullptr);
    ::SetWindowTextA(m_startStopButton, LoadResString(IDS_STOP).c_str());
}

void CRecorderDlg::EnterIdleState() {
    EnableRecordingInputs(TRUE);
    ::SendMessageA(m_animation.get(), ACM_STOP, 0, 0);
    ::KillTimer(hwnd(), kCaptureTimer);
    // Destroying the capture object finishes the file.
    m_capture.reset();
    UpdateTrayStatus(m_frameCount);
    ::ShowWindow(hwnd(), SW_SHOWNORMAL);
    ::SetWindowTextA(m_startStopButton, LoadResString(IDS_START).c_str());
}

void CRecorderDlg::EnableRecordingInputs(BOOL enable) {
    for (int id : kRecordingInputs)
        ::EnableWindow(Item(id), enable);
}

void CRecorderDlg::OnCaptureTimer(UINT_PTR timerId) {
    SetStatusText(FormatText(m_frameCountFormat, m_frameCount));

    bool ok = true;
    UINT message = 0;
    if (m_capture && m_capture->WriteFailed()) {
        // A frame of an earlier tick failed in the background: stop before grabbing another.
        ok = false;
        message = IDS_WRITE_ERROR;
    } else if (m_capture) {
        const CaptureStatus status = m_capture->CaptureFrame();
        if (status == CaptureStatus::Grabbed) {
            ok = m_capture->WriteFrame(m_frameCount) != 0;
            if (!ok)
                message = IDS_WRITE_ERROR;
            // The sample index moves on even after a failed write.
            ++m_frameCount;
        } else {
            ok = false;
            message = status == CaptureStatus::SizeChanged ? IDS_SIZE_CHANGED : IDS_CAPTURE_ERROR;
        }
    }

    const LRESULT limit = ::SendMessageA(m_timeLimitBox, CB_GETCURSEL, 0, 0);
    if (limit > 0 && m_endTime < CurrentTime()) {
        ::KillTimer(hwnd(), timerId);
        StopRecording();
        return;
    }
    if (!ok) {
        // The timer goes first so that no tick runs while the message is open; the recording look
        // stays until the message is dismissed.
        ::KillTimer(hwnd(), timerId);
        ShowMessage(hwnd(), LoadResString(message), m_appTitle);
        StopRecording();
        return;
    }
    UpdateTrayStatus(m_frameCount);
}

void CRecorderDlg::SetStatusText(const std::string& text) {
    ::SetWindowTextA(m_statusBox, text.c_str());
}

void CRecorderDlg::UpdateTrayStatus(int32_t count) {
    TrayState state;
    state.recording = m_recording;
    if (const LRESULT selected = m_sources.Selection(); selected >= 0)
        state.itemText = ComboItemText(m_sourceBox, static_cast<int>(selected));
    state.frameCount = static_cast<uint32_t>(count);
    state.limitSelection = static_cast<int>(::SendMessageA(m_timeLimitBox, CB_GETCURSEL, 0, 0));
    state.secondsLeft = static_cast<int64_t>(m_endTime - CurrentTime());
    m_tray.Update(state);
}
