// Linux: where a sibling library is looked for (see dynamic_library.h).
#pragma once

#if !defined(_WIN32)
#include <string>

namespace lumitra::module {

// Opens fileName (a bare "libname.so") beside the object that holds this
// code, else from the absolute folders of the loader's search path; null
// when neither has it. Never looks in the working directory.
void* OpenSibling(const std::string& fileName);

}  // namespace lumitra::module
#endif
