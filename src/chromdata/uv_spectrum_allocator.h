// Tool_AllocateUVSpecData of the host's sibling library Varnex2.dll
// (libvarnex2.so on Linux), which gives a UV spectrum record its arrays.
// Its address is looked up on first use and kept for the life of the
// process; the sibling then stays loaded.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::chromdata {

// S_OK with *allocate set; E_UNEXPECTED when the sibling cannot be loaded,
// E_NOINTERFACE when it lacks the export (the next call tries again),
// E_OUTOFMEMORY when the loader's bookkeeping cannot be allocated.
std::int32_t ResolveAllocateUVSpecData(LumitraAllocateUVSpecDataFn* allocate) noexcept;

}  // namespace lumitra::chromdata
