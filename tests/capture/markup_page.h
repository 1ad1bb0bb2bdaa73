// The descriptor tests' pages are the capture's own page model (capture/markup_page.h).
#pragma once

#include "capture/markup_page.h"

namespace quillon::capture::testing {
using capture::ElementTag;
using capture::MarkupPage;
using capture::Utf16;
using capture::Utf8;
} // namespace quillon::capture::testing
