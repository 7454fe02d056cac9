// The platform layer: the Linux task allocator (its count of outstanding
// blocks and the large blocks it keeps for the next call), the application
// object.
#include <gtest/gtest.h>

#include "lumitra/lumitra.h"
#include "module/application.h"

namespace lumitra::module {
namespace {

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
