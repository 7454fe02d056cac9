// A process whose folder lacks the sibling library (EXPECTED_STATUS
// E_UNEXPECTED) or holds one without Tool_AllocateUVSpecData
// (E_NOINTERFACE): the record is not touched, the data source is not
// asked, and a later call tries again.
#include <gtest/gtest.h>

#include <cstring>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

using lumitra::test::StandInSpectrumSource;

TEST(SiblingMissing, RecordUntouchedAndLaterCallsTryAgain) {
    StandInSpectrumSource source;
    StandInSpectrumSource::Reply reply;
    reply.values = {1.0};
    reply.wavelengths = {25400};
    source.At(1, reply);
    const BGSubtractionRequest request{1, 1, 1, source.Source(), 0, 0};
    const long before = lumitra::module::allocation_hook::OutstandingTaskAllocations();
    for (int call = 0; call < 2; ++call) {
        UVSpecData record, untouched;
        std::memset(&record, 0xCD, sizeof record);
        std::memcpy(&untouched, &record, sizeof record);
        EXPECT_EQ(Lumitra_GetBGSubtractedUVSpecData(&request, &record), EXPECTED_STATUS) << call;
        EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0) << call;
    }
    EXPECT_TRUE(source.Requests().empty());
    EXPECT_EQ(lumitra::module::allocation_hook::OutstandingTaskAllocations(), before);
    // Both attempts found the library they could (or could not) find.
    EXPECT_EQ(lumitra::test::SiblingAttachCount(), EXPECTED_STATUS == E_NOINTERFACE ? 1 : 0);

    // The plain-array form needs no sibling.
    double* values = nullptr;
    int32_t* wavelengths = nullptr;
    int32_t count = 0;
    ASSERT_EQ(Lumitra_GetBGSubtractedSpectrum(&request, &values, &count, &wavelengths), S_OK);
    EXPECT_EQ(count, 1);
    lumitra::module::TaskFree(values);
    lumitra::module::TaskFree(wavelengths);
}

}  // namespace
