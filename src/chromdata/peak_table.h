// Read-only view of the host's peak table: an int32 peak count, then one
// 1056-byte record per peak, of which only the flags and three times are
// read. Fields are copied out byte-wise, so the table needs no alignment.
#pragma once

#include <cstdint>
#include <cstring>

#include "lumitra/lumitra.h"

namespace lumitra::chromdata {

// Flag bits of a peak record.
inline constexpr std::uint32_t kBaseStartFlag = 0x10;
inline constexpr std::uint32_t kGroupFlagA = 0x100;
inline constexpr std::uint32_t kGroupFlagB = 0x800;
inline constexpr std::uint32_t kGroupFlags = kGroupFlagA | kGroupFlagB;
inline constexpr std::uint32_t kScanEndFlag = 0x4;

class PeakTableView {
public:
    explicit PeakTableView(const void* table) noexcept
        : bytes_(static_cast<const unsigned char*>(table)) {}

    std::int32_t Count() const noexcept { return Read<std::int32_t>(0); }
    // Fields of record k (0-based).
    std::uint32_t Flags(std::int32_t k) const noexcept {
        return Read<std::uint32_t>(Offset(k, LUMITRA_PEAK_FLAGS_OFFSET));
    }
    std::int32_t RetentionTime(std::int32_t k) const noexcept {
        return Read<std::int32_t>(Offset(k, LUMITRA_PEAK_RETENTION_TIME_OFFSET));
    }
    std::int32_t StartTime(std::int32_t k) const noexcept {
        return Read<std::int32_t>(Offset(k, LUMITRA_PEAK_START_TIME_OFFSET));
    }
    std::int32_t EndTime(std::int32_t k) const noexcept {
        return Read<std::int32_t>(Offset(k, LUMITRA_PEAK_END_TIME_OFFSET));
    }

private:
    static std::size_t Offset(std::int32_t k, std::size_t field) noexcept {
        return field + static_cast<std::size_t>(k) * LUMITRA_PEAK_RECORD_SIZE;
    }
    template <typename T>
    T Read(std::size_t offset) const noexcept {
        T value;
        std::memcpy(&value, bytes_ + offset, sizeof value);
        return value;
    }
    const unsigned char* bytes_;
};

}  // namespace lumitra::chromdata
