// The capture's text work is every page-task door's: the short location of a task's
// description and the description's size live in common/page_task.h.
#pragma once

#include "common/page_task.h"

namespace quillon::capture {
using quillon::kDescriptionSize;
using quillon::ShortLocation;
} // namespace quillon::capture
