#include "tests/support/codec_support.h"

namespace test_support {

BOOL ChooseFullFrames(PAVISTREAM, LPAVICOMPRESSOPTIONS* options) {
    AVICOMPRESSOPTIONS& o = *options[0];
    o = {};
    o.fccType = streamtypeVIDEO;
    o.fccHandler = comptypeDIB;
    o.dwFlags = AVICOMPRESSF_VALID;
    return TRUE;
}

BOOL CancelCodecChoice(PAVISTREAM, LPAVICOMPRESSOPTIONS*) {
    return FALSE;
}

} // namespace test_support
