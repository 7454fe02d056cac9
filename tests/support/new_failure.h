// Failure injection for the C++ heap of a test program (link
// new_failure.cpp into it): the library's caption grows a std::string of
// the host's, whose memory comes from operator new rather than from the
// library's allocators. The program's operator new is replaced so that its
// nth call within a window can fail.
#pragma once

namespace lumitra::test {

// The nth operator new made inside a NewFailureWindow from now on (n >= 1)
// throws std::bad_alloc; 0 disarms.
void FailNthNew(long n);
// True once the armed failure has been delivered.
bool NewFailureDelivered();

// Marks the export call in which operator new may fail (the test's own
// allocations around it never do).
class NewFailureWindow {
public:
    NewFailureWindow();
    ~NewFailureWindow();
    NewFailureWindow(const NewFailureWindow&) = delete;
    NewFailureWindow& operator=(const NewFailureWindow&) = delete;
};

}  // namespace lumitra::test
