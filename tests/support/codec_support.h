#pragma once

#include <windows.h>
#include <vfw.h>

#include "recorder/codec_choice.h"

namespace test_support {

// "Full Frames (Uncompressed)" as the compression dialog returns it.
BOOL ChooseFullFrames(PAVISTREAM stream, LPAVICOMPRESSOPTIONS* options);
// The user cancels the compression dialog.
BOOL CancelCodecChoice(PAVISTREAM stream, LPAVICOMPRESSOPTIONS* options);

// Installs a codec chooser for the scope.
class CodecChooserScope {
public:
    explicit CodecChooserScope(CodecChooser chooser) : m_previous(SetCodecChooser(chooser)) {}
    ~CodecChooserScope() { SetCodecChooser(m_previous); }
    CodecChooserScope(const CodecChooserScope&) = delete;
    CodecChooserScope& operator=(const CodecChooserScope&) = delete;

private:
    CodecChooser m_previous;
};

} // namespace test_support
