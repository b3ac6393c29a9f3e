#pragma once

#include <windows.h>
#include <vfw.h>

// The codec is the user's choice at every start, in the platform's compression-options dialog.
// Tests replace the chooser to pick a codec (or cancel) without a person.
using CodecChooser = BOOL (*)(PAVISTREAM stream, LPAVICOMPRESSOPTIONS* options);

// The chooser in use: the compression-options dialog unless a test installed another.
BOOL ChooseCodec(PAVISTREAM stream, LPAVICOMPRESSOPTIONS* options);
// Installs a chooser (null: the dialog again) and returns the previous one.
CodecChooser SetCodecChooser(CodecChooser chooser);
