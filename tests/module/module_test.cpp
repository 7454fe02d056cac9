// The platform layer: allocation hook, sibling-library loading, the
// application object.
#include <gtest/gtest.h>

#include "module/allocation_hook.h"
#include "module/application.h"
#include "module/dynamic_library.h"
#include "module/task_allocator.h"
#include "module/task_array.h"

namespace lumitra::module {
namespace {

TEST(AllocationHook, FailsTheNthAllocationAndCountsOutstanding) {
    const long task0 = allocation_hook::OutstandingTaskAllocations();
    const long heap0 = allocation_hook::OutstandingHeapAllocations();
    allocation_hook::FailNthAllocation(3);
    void* a = TaskAllocate(16);
    void* b = HeapAllocate(16);
    EXPECT_FALSE(allocation_hook::FailureDelivered());
    void* c = TaskAllocate(16);
    EXPECT_TRUE(allocation_hook::FailureDelivered());
    void* d = TaskAllocate(0);  // the hook fires once only
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(allocation_hook::OutstandingTaskAllocations(), task0 + 2);
    EXPECT_EQ(allocation_hook::OutstandingHeapAllocations(), heap0 + 1);
    TaskFree(a);
    TaskFree(d);
    TaskFree(nullptr);
    HeapFree(b);
    EXPECT_EQ(allocation_hook::OutstandingTaskAllocations(), task0);
    EXPECT_EQ(allocation_hook::OutstandingHeapAllocations(), heap0);
}

TEST(TaskArray, ZeroedReleasedAndHandedOver) {
    const long task0 = allocation_hook::OutstandingTaskAllocations();
    {
        auto array = TaskArray<double>::Zeroed(100);
        ASSERT_TRUE(array);
        for (int i = 0; i < 100; ++i) EXPECT_EQ(array[size_t(i)], 0.0);
        auto moved = std::move(array);
        EXPECT_FALSE(array);
        EXPECT_EQ(allocation_hook::OutstandingTaskAllocations(), task0 + 1);
    }
    EXPECT_EQ(allocation_hook::OutstandingTaskAllocations(), task0);
    auto handed = TaskArray<int>::Zeroed(4);
    int* raw = handed.release();
    EXPECT_EQ(allocation_hook::OutstandingTaskAllocations(), task0 + 1);
    TaskFree(raw);
}

TEST(DynamicLibrary, PlatformNames) {
#if defined(_WIN32)
    EXPECT_EQ(DynamicLibrary::PlatformFileName("KESTRONA.DLL"), "KESTRONA.DLL");
#else
    EXPECT_EQ(DynamicLibrary::PlatformFileName("KESTRONA.DLL"), "libkestrona.so");
    EXPECT_EQ(DynamicLibrary::PlatformFileName("Varnex2.dll"), "libvarnex2.so");
#endif
    EXPECT_EQ(DynamicLibrary::OrdinalSymbolName("KESTRONA.DLL", 17), "KESTRONA_Ordinal17");
}

TEST(DynamicLibrary, MissingLibraryIsReportedNotFatal) {
    DynamicLibrary missing("NoSuchSiblingLibrary.dll");
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(missing.FindByName("anything"), nullptr);
    EXPECT_EQ(missing.FindByOrdinal(17), nullptr);
}

TEST(Application, OneObjectWhileLoaded) { EXPECT_EQ(CLumitraApp::LiveInstances(), 1); }

}  // namespace
}  // namespace lumitra::module
