#include "optics/table_comparison.h"

#include <cstdint>

#include "lumitra/lumitra.h"
#include "module/task_array.h"
#include "numeric/wrapping_int.h"

namespace lumitra::optics {
namespace {

using numeric::Magnitude;

constexpr std::size_t kFieldWidth = 5;
constexpr std::size_t kNotFound = std::string_view::npos;

std::size_t DigitCount(std::uint32_t magnitude) noexcept {
    std::size_t digits = 1;
    while (magnitude >= 10) {
        magnitude /= 10;
        ++digits;
    }
    return digits;
}

// The first and last field of a text; a text shorter than a field is its
// own first and last field.
std::string_view FirstField(std::string_view text) noexcept { return text.substr(0, kFieldWidth); }
std::string_view LastField(std::string_view text) noexcept {
    return text.size() < kFieldWidth ? text : text.substr(text.size() - kFieldWidth);
}

// Character positions turned into entry indices (16-bit, as the host
// receives them; an end of 0 characters wraps to 65535 like -1 would).
CommonStretch ToEntries(std::size_t startA, std::size_t endA, std::size_t startB) noexcept {
    CommonStretch stretch;
    stretch.startA = static_cast<std::uint16_t>(startA / kFieldWidth);
    stretch.endA = static_cast<std::uint16_t>(endA / kFieldWidth - 1);
    stretch.startB = static_cast<std::uint16_t>(startB / kFieldWidth);
    return stretch;
}

// The widest field: "-2147483648".
constexpr std::size_t kWidestField = 11;

char* WriteText(const std::int32_t* table, std::uint32_t count, char* out) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) out += FormatTableField(table[i], out);
    return out;
}

}  // namespace

std::size_t TableFieldWidth(std::int32_t value) noexcept {
    const std::size_t width = DigitCount(Magnitude(value)) + (value < 0 ? 1 : 0);
    return width < kFieldWidth ? kFieldWidth : width;
}

std::size_t FormatTableField(std::int32_t value, char* out) noexcept {
    if (value >= 0 && value <= 99999) {
        // The wavelengths of this system: exactly five characters, leading
        // zeros shown as spaces.
        auto rest = static_cast<std::uint32_t>(value);
        for (std::size_t p = kFieldWidth; p-- > 0;) {
            out[p] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        }
        for (std::size_t p = 0; p + 1 < kFieldWidth && out[p] == '0'; ++p) out[p] = ' ';
        return kFieldWidth;
    }
    const std::size_t width = TableFieldWidth(value);
    std::uint32_t magnitude = Magnitude(value);
    // Digits from the right, then the sign, then the padding.
    std::size_t p = width;
    do {
        out[--p] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) out[--p] = '-';
    while (p > 0) out[--p] = ' ';
    return width;
}

CommonStretch FindCommonStretch(std::string_view a, std::string_view b) noexcept {
    if (a == b) return ToEntries(0, a.size(), 0);

    const bool aEndsAtOrAfterB = LastField(a) >= LastField(b);
    const std::size_t pA = a.find(FirstField(b));
    if (pA != kNotFound) {
        if (aEndsAtOrAfterB) {
            // B lies inside A.
            if (a.substr(pA).find(b) != kNotFound) return ToEntries(pA, pA + b.size(), 0);
        } else {
            // B starts inside A and A ends inside B.
            if (b.find(a.substr(pA)) != kNotFound) return ToEntries(pA, a.size(), 0);
        }
        return {};
    }

    const std::size_t pB = b.find(FirstField(a));
    if (pB == kNotFound) return {};
    if (aEndsAtOrAfterB) {
        // A starts inside B and B ends inside A.
        const std::size_t q = a.find(LastField(b));
        if (q != kNotFound) return ToEntries(0, q + kFieldWidth, pB);
    } else {
        // A lies inside B.
        if (b.find(a) != kNotFound) return ToEntries(0, a.size(), pB);
    }
    return {};
}

std::int32_t CompareWavelengthTables(const std::int32_t* tableA, std::uint32_t countA,
                                     const std::int32_t* tableB, std::uint32_t countB,
                                     CommonStretch* stretch) noexcept {
    *stretch = CommonStretch{};
    // One buffer holds both texts, room for the widest fields reserved so
    // that each table is printed in a single pass.
    const std::uint64_t room = (std::uint64_t{countA} + countB) * kWidestField + 1;
    if (room > SIZE_MAX / 2) return E_OUTOFMEMORY;
    auto text = module::TaskArray<char>::Zeroed(static_cast<std::size_t>(room));
    if (!text) return E_OUTOFMEMORY;
    char* const textA = text.get();
    char* const textB = WriteText(tableA, countA, textA);
    char* const end = WriteText(tableB, countB, textB);
    *stretch = FindCommonStretch(
        std::string_view(textA, static_cast<std::size_t>(textB - textA)),
        std::string_view(textB, static_cast<std::size_t>(end - textB)));
    return S_OK;
}

}  // namespace lumitra::optics
