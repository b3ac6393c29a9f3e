#include "ui/recorder_dlg.h"

#include <commdlg.h>

#include <algorithm>

#include "platform/ui_text.h"
#include "ui/path_split.h"

void CRecorderDlg::OnBrowse() {
    // Each bar ends a field; the descriptions and the first pattern keep their blanks.
    std::string filter = "AVI Files (*.avi) |*.avi | All Files (*.*) |*.*||";
    std::replace(filter.begin(), filter.end(), '|', '\0');
    char path[MAX_PATH] = "*.avi";

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = hwnd();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    // No overwrite prompt: the recording replaces an existing file when it starts.
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOTESTFILECREATE;
    if (!::GetSaveFileNameA(&dialog))
        return;

    SplitPath split = SplitAtLastBackslash(path, &IsAnsiLeadByte);
    m_params.folder = std::move(split.folder);
    m_params.fileName = std::move(split.fileName);
    ::SetWindowTextA(m_fileNameBox, m_params.fileName.c_str());
}
