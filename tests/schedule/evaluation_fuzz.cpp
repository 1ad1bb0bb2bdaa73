// Fuzz target: a task record and an evaluation time made of arbitrary bytes (as a hand
// edited registry could hold them) go through FindDueTask twice, with tracing on and a
// retry queue double. Nothing may overflow, wrap into undefined behaviour or loop.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "schedule/evaluation.h"
#include "tests/schedule/memory_retry_queue.h"
#include "tests/schedule/schedule_test_util.h"

namespace {

class ByteReader {
public:
    ByteReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    template <typename T>
    T Next()
    {
        T value{};
        size_t take = sizeof value < size_ - pos_ ? sizeof value : size_ - pos_;
        if (take > 0)
            std::memcpy(&value, data_ + pos_, take);
        pos_ += take;
        return value;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace quillon;
    ByteReader in(data, size);
    TaskRecord task{};
    SetTaskKeyName(&task, "2026 1 1 0 0 1");
    task.Deleted = in.Next<uint8_t>() & 1;
    task.Disabled = in.Next<uint8_t>() & 1;
    task.NotWeekend = in.Next<uint32_t>();
    task.HasDates = in.Next<uint32_t>();
    task.HasTimes = in.Next<uint32_t>();
    task.StartDate = in.Next<DateTime>();
    task.EndDate = in.Next<DateTime>();
    task.LastRun = in.Next<DateTime>();
    task.TaskType = in.Next<uint32_t>();
    task.Value = in.Next<uint32_t>();
    task.Value2 = in.Next<uint32_t>();
    task.DaysOfWeek = in.Next<uint32_t>();
    task.MonthsOfYear = in.Next<uint32_t>();
    task.Logging = 1;
    DateTime st = in.Next<DateTime>();
    test::MemoryRetryQueue queue;
    queue.now = in.Next<DateTime>();
    queue.Add(in.Next<uint8_t>() & 1 ? "2026 1 1 0 0 1" : "2025 1 1 0 0 0", in.Next<DateTime>());

    test::RecordingTraceSink sink;
    TaskRecord *tasks[] = {&task};
    size_t index = 0;
    DateTime second = st;
    FindDueTask(tasks, 1, &st, &queue, &sink, &index);
    FindDueTask(tasks, 1, &second, nullptr, &sink, &index);
    return 0;
}
