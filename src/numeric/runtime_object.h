// Root class with run-time class information, standing in for the
// application framework's root class: each derived class publishes a
// RuntimeClass record (name, schema, factory, base class) and answers
// GetRuntimeClass. The remaining virtual operations are the framework's
// hooks for archives, validity checks and diagnostic dumps; the library
// stores nothing and checks nothing through them, so they do nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumitra::numeric {

class CRuntimeObject;

struct RuntimeClass {
    const char* m_lpszClassName;
    std::int32_t m_nObjectSize;
    std::uint32_t m_wSchema;  // 0xFFFF: the class is not versioned in archives
    CRuntimeObject* (*m_pfnCreateObject)() noexcept;
    const RuntimeClass* m_pBaseClass;

    // A default-constructed object of the class; null without a factory or
    // when memory runs out.
    CRuntimeObject* CreateObject() const noexcept;
    // True for this class and every class it derives from.
    bool IsDerivedFrom(const RuntimeClass* base) const noexcept;
};

class CRuntimeObject {
public:
    // Virtual slots in the framework's order.
    virtual const RuntimeClass* GetRuntimeClass() const noexcept;
    virtual ~CRuntimeObject();
    virtual void Serialize(void* archive) noexcept;
    virtual void AssertValid() const noexcept;
    virtual void Dump(void* dumpContext) const noexcept;

    bool IsKindOf(const RuntimeClass* runtimeClass) const noexcept;

    // Objects created with new live on the library's heap, so that the
    // allocation hook sees them; new yields null when memory runs out.
    static void* operator new(std::size_t bytes) noexcept;
    static void operator delete(void* block) noexcept;

    static const RuntimeClass classCRuntimeObject;

protected:
    CRuntimeObject() noexcept = default;
    CRuntimeObject(const CRuntimeObject&) noexcept = default;
    CRuntimeObject& operator=(const CRuntimeObject&) noexcept = default;
};

}  // namespace lumitra::numeric
