// Caption text of a short wavelength list, for example "254.00/280.00":
// each wavelength (0.01 nm) in nanometres with a chosen number of
// decimals, joined by "/".
#pragma once

#include <cstdint>
#include <string>

namespace lumitra::chromdata {

// Bits of the options word.
inline constexpr std::int32_t kCaptionListKindMask = 0xFF;
inline constexpr std::int32_t kCaptionFirstOnly = 0x100;
inline constexpr std::int16_t kCaptionMaxEntries = 10;

// List kinds 1 and 2 exist.
bool IsCaptionListKind(std::int32_t kind) noexcept;

// Formats into the empty caption the list that the list kind (1 or 2)
// selects. E_INVALIDARG for a count above 10 (caption left empty);
// E_OUTOFMEMORY when the string cannot grow (caption emptied).
std::int32_t FormatWavelengthCaption(std::int32_t options, std::string& caption,
                                     const void* list, std::int16_t decimals) noexcept;

// One wavelength in nanometres with `decimals` decimals ("%.<d>f").
std::string FormatNanometres(std::int32_t wavelength, std::int32_t decimals);

}  // namespace lumitra::chromdata
