// Comparison of two wavelength tables on their text form: every entry
// printed as "%5ld" and the texts concatenated. The search for a common
// stretch works on characters, and a character position p belongs to entry
// p/5 (five-digit wavelengths take exactly five characters each).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumitra::optics {

inline constexpr std::uint16_t kNoCommonEntry = 65535;

// Entries startA..endA of table A equal the entries of B from startB on;
// all three are kNoCommonEntry when the tables share no stretch.
struct CommonStretch {
    std::uint16_t startA = kNoCommonEntry;
    std::uint16_t endA = kNoCommonEntry;
    std::uint16_t startB = kNoCommonEntry;
};

// Characters that "%5ld" gives for value: at least five.
std::size_t TableFieldWidth(std::int32_t value) noexcept;
// Writes the "%5ld" text of value (no terminator); returns its length.
std::size_t FormatTableField(std::int32_t value, char* out) noexcept;

// The common stretch of two table texts.
CommonStretch FindCommonStretch(std::string_view textA, std::string_view textB) noexcept;

// Builds both texts in one working buffer and compares them. Returns S_OK,
// or E_OUTOFMEMORY when the buffer cannot be had (stretch left as "none").
std::int32_t CompareWavelengthTables(const std::int32_t* tableA, std::uint32_t countA,
                                     const std::int32_t* tableB, std::uint32_t countB,
                                     CommonStretch* stretch) noexcept;

}  // namespace lumitra::optics
