#include "chromdata/wavelength_caption.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "lumitra/lumitra.h"

namespace lumitra::chromdata {
namespace {

struct ListLayout {
    std::size_t countOffset;
    std::size_t entriesOffset;
};

// Where the count and the entries of each list kind lie in the record.
ListLayout LayoutOf(std::int32_t kind) noexcept {
    if (kind == 1) return {offsetof(LambdaList, count1), offsetof(LambdaList, list1)};
    return {offsetof(LambdaList, count2), offsetof(LambdaList, list2)};
}

template <typename T>
T ReadAt(const void* record, std::size_t offset) noexcept {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
    return value;
}

}  // namespace

std::string FormatNanometres(std::int32_t wavelength, std::int32_t decimals) {
    const double nanometres = static_cast<double>(wavelength) / 100.0;
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, nanometres);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, nanometres);
    return text;
}

bool IsCaptionListKind(std::int32_t kind) noexcept { return kind == 1 || kind == 2; }

std::int32_t FormatWavelengthCaption(std::int32_t options, std::string& caption,
                                     const void* list, std::int16_t decimals) noexcept {
    const ListLayout layout = LayoutOf(options & kCaptionListKindMask);
    // The count is read as a signed 16-bit number: "negative" counts format
    // nothing.
    const auto count = ReadAt<std::int16_t>(list, layout.countOffset);
    if (count > kCaptionMaxEntries) return E_INVALIDARG;

    const bool firstOnly = (options & kCaptionFirstOnly) != 0;
    const std::int32_t places = decimals < 0 ? 0 : decimals;
    try {
        for (std::int16_t i = 0; i < count; ++i) {
            const auto wavelength = ReadAt<std::int32_t>(
                list, layout.entriesOffset + static_cast<std::size_t>(i) * sizeof(LambdaListEntry));
            if (i == 0) {
                caption = FormatNanometres(wavelength, places);
            } else {
                caption += '/';
                caption += FormatNanometres(wavelength, places);
            }
            if (firstOnly) break;
        }
        // A first-only caption is never left empty.
        if (firstOnly && caption.empty()) caption.push_back(' ');
    } catch (...) {
        caption.clear();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace lumitra::chromdata
