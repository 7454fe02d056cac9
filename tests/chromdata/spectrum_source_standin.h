// A stand-in for the host's data source: answers GetSpectrum (entry 12 of
// its method table, __stdcall on 32-bit Windows) from a script of replies
// by time (several replies for one time are served in turn, the last one
// repeated). Its arrays come from the task allocator as the host's do
// (support/host_memory.h: in white-box programs the allocation hook counts
// and can fail them); it records every request.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "lumitra/lumitra.h"
#include "support/host_memory.h"

namespace lumitra::test {

class StandInSpectrumSource {
public:
    struct Reply {
        std::vector<double> values;
        std::vector<int32_t> wavelengths;      // the points' wavelengths (elements 1..count)
        int32_t status = S_OK;
        std::optional<int32_t> countElement;   // element 0; the count by default
        std::optional<int32_t> reportedCount;  // *count; values.size() by default
        bool arraysOnFailure = false;          // hand arrays over even when failing
        bool withoutValues = false;            // succeed without a value array
        bool withoutWavelengths = false;       // succeed without a wavelength array
    };
    struct Request {
        int32_t time, selectorA, zero, selectorB, one;
    };

    StandInSpectrumSource() {
        table_.GetSpectrum = &GetSpectrum;
        object_.lpVtbl = &table_;
        object_.owner = this;
    }
    StandInSpectrumSource(const StandInSpectrumSource&) = delete;
    StandInSpectrumSource& operator=(const StandInSpectrumSource&) = delete;

    void At(int32_t time, Reply reply) { replies_[time].push_back(std::move(reply)); }
    ISpectrumSource* Source() { return &object_; }

    const std::vector<Request>& Requests() const { return requests_; }

private:
    struct Object : ISpectrumSource {
        StandInSpectrumSource* owner;
    };

    static int32_t LUMITRA_CALL GetSpectrum(ISpectrumSource* self, int32_t time, double** values,
                                            int32_t* count, int32_t** wavelengths,
                                            int32_t selectorA, int32_t zero, int32_t selectorB,
                                            int32_t one) {
        auto& source = *static_cast<Object*>(self)->owner;
        source.requests_.push_back({time, selectorA, zero, selectorB, one});
        const auto found = source.replies_.find(time);
        if (found == source.replies_.end()) return E_FAIL;
        size_t& served = source.served_[time];
        const auto& replies = found->second;
        const Reply& reply = replies[served < replies.size() ? served : replies.size() - 1];
        ++served;
        return source.Deliver(reply, values, count, wavelengths);
    }

    int32_t Deliver(const Reply& reply, double** values, int32_t* count, int32_t** wavelengths) {
        if (reply.status < 0 && !reply.arraysOnFailure) return reply.status;
        const auto n = static_cast<int32_t>(reply.values.size());
        const size_t points = reply.values.size();
        double* v = nullptr;
        if (!reply.withoutValues) {
            v = static_cast<double*>(HostAllocate(points * sizeof(double)));
            if (v == nullptr) return E_OUTOFMEMORY;
        }
        int32_t* w = nullptr;
        if (!reply.withoutWavelengths) {
            w = static_cast<int32_t*>(HostAllocate((points + 1) * sizeof(int32_t)));
            if (w == nullptr) {
                HostFree(v);
                return E_OUTOFMEMORY;
            }
            w[0] = reply.countElement.value_or(n);
            for (size_t i = 0; i < points; ++i)
                w[i + 1] = i < reply.wavelengths.size() ? reply.wavelengths[i] : 0;
        }
        for (size_t i = 0; v != nullptr && i < points; ++i) v[i] = reply.values[i];
        *values = v;
        *wavelengths = w;
        *count = reply.reportedCount.value_or(n);
        return reply.status;
    }

    ISpectrumSourceVtbl table_{};
    Object object_{};
    std::map<int32_t, std::vector<Reply>> replies_;
    std::map<int32_t, size_t> served_;
    std::vector<Request> requests_;
};

}  // namespace lumitra::test
