#include "recorder/codec_choice.h"

namespace {

BOOL ShowCompressionDialog(PAVISTREAM stream, LPAVICOMPRESSOPTIONS* options) {
    PAVISTREAM streams[] = {stream};
    return ::AVISaveOptions(nullptr, 0, 1, streams, options);
}

CodecChooser g_chooser = &ShowCompressionDialog;

} // namespace

BOOL ChooseCodec(PAVISTREAM stream, LPAVICOMPRESSOPTIONS* options) {
    return g_chooser(stream, options);
}

CodecChooser SetCodecChooser(CodecChooser chooser) {
    CodecChooser previous = g_chooser;
    g_chooser = chooser ? chooser : &ShowCompressionDialog;
    return previous;
}
