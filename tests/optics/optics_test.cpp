// Table fields are the "%ld" text padded to five characters; the short path
// for five-digit wavelengths must agree with the printf form everywhere,
// wide and negative values included, which no table of this system holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "optics/table_comparison.h"

namespace lumitra::optics {
namespace {

TEST(TableComparison, FieldsMatchPrintf) {
    const int32_t values[] = {0,      7,     19000, 99999, 100000, 123456789, -1,
                              -9999, -10000, INT32_MAX, INT32_MIN, 65535, 80000};
    for (const int32_t value : values) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "%5ld", long(value));
        char field[16] = {};
        const std::size_t width = FormatTableField(value, field);
        EXPECT_EQ(std::string(field, width), expected) << value;
        EXPECT_EQ(TableFieldWidth(value), std::string(expected).size()) << value;
    }
}

}  // namespace
}  // namespace lumitra::optics
