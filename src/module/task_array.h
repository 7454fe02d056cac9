// Owning handle of a working array from the task allocator: the array is
// released when the handle goes out of scope, so every return path of an
// export frees what it obtained.
#pragma once

#include <cstddef>
#include <cstring>
#include <utility>

#include "module/task_allocator.h"

namespace lumitra::module {

template <typename T>
class TaskArray {
public:
    TaskArray() = default;
    // Allocates room for `count` elements of T, zero-filled; check with
    // `operator bool` before use.
    static TaskArray Zeroed(std::size_t count) noexcept {
        TaskArray array;
        array.data_ = static_cast<T*>(TaskAllocate(count * sizeof(T)));
        if (array.data_ != nullptr) std::memset(array.data_, 0, count * sizeof(T));
        return array;
    }
    TaskArray(const TaskArray&) = delete;
    TaskArray& operator=(const TaskArray&) = delete;
    TaskArray(TaskArray&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
    TaskArray& operator=(TaskArray&& other) noexcept {
        if (this != &other) {
            TaskFree(data_);
            data_ = std::exchange(other.data_, nullptr);
        }
        return *this;
    }
    ~TaskArray() { TaskFree(data_); }

    explicit operator bool() const noexcept { return data_ != nullptr; }
    T* get() const noexcept { return data_; }
    T& operator[](std::size_t i) const noexcept { return data_[i]; }
    // Hands the array to the caller, who frees it with CoTaskMemFree.
    T* release() noexcept { return std::exchange(data_, nullptr); }

private:
    T* data_ = nullptr;
};

}  // namespace lumitra::module
