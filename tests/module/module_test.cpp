// The platform layer: the allocation hook, task arrays, the Linux task
// allocator (its count of outstanding blocks and the large blocks it keeps
// for the next call), the application object.
#include <gtest/gtest.h>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/application.h"
#include "module/task_allocator.h"
#include "module/task_array.h"

namespace lumitra::module {
namespace {

TEST(AllocationHook, FailsTheNthAllocationAndCountsOutstanding) {
    const long task0 = allocation_hook::OutstandingTaskAllocations(), heap0 = allocation_hook::OutstandingHeapAllocations();
    allocation_hook::FailNthAllocation(3);
    void* a = TaskAllocate(16);
    void* b = HeapAllocate(16);
    EXPECT_FALSE(allocation_hook::FailureDelivered());
    EXPECT_EQ(TaskAllocate(16), nullptr);
    EXPECT_TRUE(allocation_hook::FailureDelivered());
    auto array = TaskArray<double>::Zeroed(100);  // the hook fires once only
    ASSERT_TRUE(a && b && array);
    for (size_t i = 0; i < 100; ++i) EXPECT_EQ(array[i], 0.0);
    EXPECT_EQ(allocation_hook::OutstandingTaskAllocations(), task0 + 2);
    EXPECT_EQ(allocation_hook::OutstandingHeapAllocations(), heap0 + 1);
    TaskFree(a);
    TaskFree(nullptr);
    HeapFree(b);
    TaskFree(array.release());
    EXPECT_EQ(allocation_hook::OutstandingTaskAllocations(), task0);
    EXPECT_EQ(allocation_hook::OutstandingHeapAllocations(), heap0);
}

#if !defined(_WIN32)
TEST(TaskAllocator, CountsBlocksAndKeepsLargeOnesForTheSameSize) {
    const long before = LumitraDiagnostics_OutstandingTaskMemory();
    void* small = CoTaskMemAlloc(0);
    void* large = CoTaskMemAlloc(512 * 1024);
    ASSERT_TRUE(small && large);
    EXPECT_EQ(LumitraDiagnostics_OutstandingTaskMemory(), before + 2);
    CoTaskMemFree(large);
    CoTaskMemFree(small);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(LumitraDiagnostics_OutstandingTaskMemory(), before);
    void* other = CoTaskMemAlloc(512 * 1024 + 8);  // another size: not the kept block
    void* again = CoTaskMemAlloc(512 * 1024);
    EXPECT_EQ(again, large);
    EXPECT_NE(other, large);
    CoTaskMemFree(other);
    CoTaskMemFree(again);
}
#endif

TEST(Application, OneObjectWhileLoaded) { EXPECT_EQ(CLumitraApp::LiveInstances(), 1); }

}  // namespace
}  // namespace lumitra::module
