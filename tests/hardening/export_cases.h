// Representative calls of every export, shared by the allocation-failure
// sweep and the concurrency test. A case is one export with one input: it
// sets up fresh caller data of its own, calls the export and reports what
// the caller sees afterwards.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"

namespace lumitra::test {

// What the caller can see after a call: the status and the bytes of every
// output, in/out array and returned buffer (returned buffers are copied,
// then freed).
struct Outcome {
    int32_t status = 0;
    std::vector<unsigned char> state;

    template <typename T>
    Outcome& Add(const T& value) {
        return AddArray(&value, 1);
    }
    template <typename T>
    Outcome& AddArray(const T* values, size_t n) {
        const size_t at = state.size();
        state.resize(at + n * sizeof(T));
        if (n > 0) std::memcpy(state.data() + at, values, n * sizeof(T));
        return *this;
    }
    // A buffer the call handed back: whether it is there and its contents;
    // then it is freed as the caller would.
    template <typename T>
    Outcome& AddReturned(T* buffer, size_t n) {
        Add(buffer != nullptr);
        if (buffer != nullptr) AddArray(buffer, n);
        module::TaskFree(buffer);
        return *this;
    }
};

// Where a case's memory comes from: the library's allocators (task
// allocator and heap, failed through the library's hook), or the C++ heap
// of a std::string the host shares (failed through operator new).
enum class Memory { kLibrary, kOperatorNew };

struct ExportCase {
    std::string exportName;
    std::string input;
    // Without `call` only the caller's data are set up and reported.
    std::function<Outcome(bool call)> run;
    // Checks a call whose allocation failed, given the state without a call
    // and the reference call; empty: E_OUTOFMEMORY with the state untouched.
    std::function<void(const Outcome& failed, const Outcome& untouched, const Outcome& reference)>
        checkFailed = {};
    Memory memory = Memory::kLibrary;
};

// The failure check of the exports built on the cubic spline: its set-up
// does not test the value array it allocates and reports the missing array
// later as E_FAIL; every other failure is E_OUTOFMEMORY. Nothing written.
void ExpectSplineSetUpFailure(const Outcome& failed, const Outcome& untouched, const Outcome&);

// The cases of each family.
std::vector<ExportCase> TableCases();
std::vector<ExportCase> KernelCases();
std::vector<ExportCase> CalibrationCases();
std::vector<ExportCase> CheckCases();
std::vector<ExportCase> LampCases();
std::vector<ExportCase> ChromatogramCases();
// All of them.
std::vector<ExportCase> AllExportCases();

}  // namespace lumitra::test
