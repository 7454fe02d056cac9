// The catalogue of export calls: for every export one or more calls with
// worked inputs and the outcome they must have. One catalogue drives the
// export tests (direct calls), the calling-convention probe on 32-bit
// Windows, the allocation-failure sweep and the concurrency test.
//
// A case sets up fresh caller data of its own, calls its export through an
// Invoke (or not at all, to show the data as the caller left them) and
// reports what the caller can see afterwards.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "lumitra/lumitra.h"
#include "support/host_memory.h"

namespace lumitra::test {

inline constexpr int32_t kNotCalled = 0x7A7A7A7A;

// What the caller can see after a call: the status and the bytes of every
// output (returned buffers are copied, then freed as the caller would), and
// a verdict on them: empty when the outcome is the one the case expects.
struct Outcome {
    int32_t status = kNotCalled;
    std::vector<unsigned char> state;
    std::string verdict;

    template <typename T>
    Outcome& AddArray(const T* values, size_t n) {
        const size_t at = state.size();
        state.resize(at + n * sizeof(T));
        if (n > 0) std::memcpy(state.data() + at, values, n * sizeof(T));
        return *this;
    }
    template <typename T>
    Outcome& Add(const T& value) { return AddArray(&value, 1); }
    template <typename T>
    Outcome& AddReturned(T* buffer, size_t n) {
        Add(buffer != nullptr);
        if (buffer != nullptr) AddArray(buffer, n);
        HostFree(buffer);
        return *this;
    }
    // Notes what a call got wrong (nothing when it was not called).
    void Expect(bool right, const std::string& what) {
        if (!right && status != kNotCalled) verdict += (verdict.empty() ? "" : "; ") + what;
    }
};

// Records what the calling-convention probe saw of one call (32-bit
// Windows): empty when the callee removed the right argument bytes and left
// the caller's registers, flags and floating-point control state alone.
using ProbeCall = std::function<int32_t(const void* function, const std::vector<uint32_t>& words,
                                        bool callerCleans)>;

template <typename F>
inline constexpr bool kCallerCleans = false;
#if defined(_WIN32) && !defined(_WIN64)
template <typename R, typename... P>
inline constexpr bool kCallerCleans<R(__cdecl*)(P...)> = true;
#endif

// How a case calls its export.
class Invoke {
public:
    enum class Mode { kNoCall, kDirect, kProbe };
    explicit Invoke(Mode mode, ProbeCall probe = {}) : mode_(mode), probe_(std::move(probe)) {}

    template <typename F, typename... A>
    int32_t operator()(F function, A&&... args) const {
        if (mode_ == Mode::kNoCall) return kNotCalled;
        if (mode_ == Mode::kProbe) {
            std::vector<uint32_t> words;
            (Push(words, args), ...);
            return probe_(reinterpret_cast<const void*>(function), words, kCallerCleans<F>);
        }
        return static_cast<int32_t>(function(std::forward<A>(args)...));
    }
    bool Calls() const { return mode_ != Mode::kNoCall; }

private:
    // Arguments as a 32-bit caller pushes them: a word each, two for a double.
    template <typename T>
    static void Push(std::vector<uint32_t>& words, const T& value) {
        if constexpr (std::is_same_v<T, double>) {
            uint32_t halves[2];
            std::memcpy(halves, &value, sizeof value);
            words.insert(words.end(), {halves[0], halves[1]});
        } else if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) {
            words.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value)));
        } else if constexpr (std::is_integral_v<T>) {
            words.push_back(static_cast<uint32_t>(value));
        } else {  // passed by reference
            words.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&value)));
        }
    }
    Mode mode_;
    ProbeCall probe_;
};

// Where a case's memory comes from: the library's allocators (failed
// through the library's hook), or the C++ heap of a std::string the host
// shares (failed through operator new, support/new_failure.h).
enum class Memory { kLibrary, kOperatorNew };

struct ExportCase {
    std::string exportName;
    std::string input;
    std::function<Outcome(const Invoke&)> run;
    // Checks a call whose allocation failed, given the state without a call
    // and the complete call; unset: E_OUTOFMEMORY with the state untouched.
    std::function<void(const Outcome& failed, const Outcome& untouched, const Outcome& complete)>
        checkFailed = {};
    Memory memory = Memory::kLibrary;
};

std::vector<ExportCase> AllExportCases();

// Runs a case alone and returns its outcome.
inline Outcome RunAlone(const ExportCase& c) { return c.run(Invoke(Invoke::Mode::kDirect)); }

}  // namespace lumitra::test
