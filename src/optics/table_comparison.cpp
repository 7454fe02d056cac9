#include "optics/table_comparison.h"

#include <cstdint>

#include "lumitra/lumitra.h"
#include "module/task_array.h"

namespace lumitra::optics {
namespace {

constexpr std::size_t kFieldWidth = 5;
constexpr std::size_t kNotFound = std::string_view::npos;

// Magnitude and sign of a value without overflow at INT32_MIN.
std::uint32_t Magnitude(std::int32_t value) noexcept {
    return value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
}

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

// Text length of a table, or SIZE_MAX when it does not fit in memory.
std::size_t TextLength(const std::int32_t* table, std::uint32_t count) noexcept {
    std::uint64_t length = 0;
    for (std::uint32_t i = 0; i < count; ++i) length += TableFieldWidth(table[i]);
    return length > SIZE_MAX / 2 ? SIZE_MAX : static_cast<std::size_t>(length);
}

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
    const std::size_t lengthA = TextLength(tableA, countA);
    const std::size_t lengthB = TextLength(tableB, countB);
    if (lengthA == SIZE_MAX || lengthB == SIZE_MAX) return E_OUTOFMEMORY;

    // One buffer holds both texts; a zero-length request still gets a block.
    auto text = module::TaskArray<char>::Zeroed(lengthA + lengthB + 1);
    if (!text) return E_OUTOFMEMORY;
    WriteText(tableA, countA, text.get());
    WriteText(tableB, countB, text.get() + lengthA);
    *stretch = FindCommonStretch(std::string_view(text.get(), lengthA),
                                 std::string_view(text.get() + lengthA, lengthB));
    return S_OK;
}

}  // namespace lumitra::optics
