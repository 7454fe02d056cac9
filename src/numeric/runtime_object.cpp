#include "numeric/runtime_object.h"

#include "module/task_allocator.h"

namespace lumitra::numeric {

// The root has no factory and no base class.
const RuntimeClass CRuntimeObject::classCRuntimeObject = {
    "CRuntimeObject", static_cast<std::int32_t>(sizeof(CRuntimeObject)), 0xFFFF, nullptr, nullptr};

CRuntimeObject* RuntimeClass::CreateObject() const noexcept {
    return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
}

bool RuntimeClass::IsDerivedFrom(const RuntimeClass* base) const noexcept {
    for (const RuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass)
        if (c == base) return true;
    return false;
}

const RuntimeClass* CRuntimeObject::GetRuntimeClass() const noexcept {
    return &classCRuntimeObject;
}

CRuntimeObject::~CRuntimeObject() = default;

void CRuntimeObject::Serialize(void* /*archive*/) noexcept {}
void CRuntimeObject::AssertValid() const noexcept {}
void CRuntimeObject::Dump(void* /*dumpContext*/) const noexcept {}

bool CRuntimeObject::IsKindOf(const RuntimeClass* runtimeClass) const noexcept {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

void* CRuntimeObject::operator new(std::size_t bytes) noexcept {
    return module::HeapAllocate(bytes);
}

void CRuntimeObject::operator delete(void* block) noexcept { module::HeapFree(block); }

}  // namespace lumitra::numeric
