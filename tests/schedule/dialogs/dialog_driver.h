#pragma once
#include "tests/support/window_driver.h"   // moved; this path remains for branches that still use it
