// The definitions moved to tests/support/window_driver.cpp (in quillon_testsupport); this
// file remains for branches that still list it as a source.
#include "tests/schedule/dialogs/dialog_driver.h"
