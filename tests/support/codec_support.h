#pragma once
// The codec choosers live with the rest of the support library now.
#include "tests/support/test_support.h"
