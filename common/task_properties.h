// Property identifiers of a task record as IAppTaskData hands them out
// (GetBooleanProperty, GetStringProperty, GetDateProperty, GetDwordProperty). The class
// bit in the high nibble names the getter. The component answers them and the scheduler
// asks for them; both read them from here. Portable.
#pragma once

#include <cstdint>

namespace quillon {

// The class bits: a getter refuses an identifier without its own bit.
constexpr uint32_t kTaskPropBooleanClass = 0x80000000;
constexpr uint32_t kTaskPropStringClass = 0x40000000;
constexpr uint32_t kTaskPropDateClass = 0x20000000;
constexpr uint32_t kTaskPropDwordClass = 0x10000000;

// Booleans (GetBooleanProperty).
constexpr uint32_t kTaskPropDeleted = 0x80000001;
constexpr uint32_t kTaskPropNeedsInternet = 0x80000002;
constexpr uint32_t kTaskPropHasDates = 0x80000003;
constexpr uint32_t kTaskPropHasTimes = 0x80000004;
constexpr uint32_t kTaskPropNotWeekend = 0x80000005;
constexpr uint32_t kTaskPropDisabled = 0x80000006;

// Strings (GetStringProperty).
constexpr uint32_t kTaskPropKeyName = 0x40000001;
constexpr uint32_t kTaskPropDisplayName = 0x40000002;
constexpr uint32_t kTaskPropAppName = 0x40000003;
constexpr uint32_t kTaskPropCommandLine = 0x40000004;

// Dates (GetDateProperty).
constexpr uint32_t kTaskPropStartDate = 0x20000001;
constexpr uint32_t kTaskPropEndDate = 0x20000002;
constexpr uint32_t kTaskPropLastRun = 0x20000003;

// DWORDs (GetDwordProperty).
constexpr uint32_t kTaskPropTaskType = 0x10000001;
constexpr uint32_t kTaskPropValue = 0x10000002;
constexpr uint32_t kTaskPropValue2 = 0x10000003;
constexpr uint32_t kTaskPropDaysOfWeek = 0x10000004;
constexpr uint32_t kTaskPropMonthsOfYear = 0x10000005;
constexpr uint32_t kTaskPropTimeout = 0x10000006;

} // namespace quillon
