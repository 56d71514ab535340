// ComPtr<T>: the one owner of one reference to a reference-counted platform
// object (device, texture, buffer, mesh, X-file object: anything with
// Release()). Move-only, so ownership is visible in the type and a second
// creation or an early return cannot leak or release twice.
//
//   ComPtr<IDirect3DTexture8> tex;
//   if (FAILED(D3DXCreateTextureFromResource(device, name, tex.Out()))) ...
//   renderer.Use(tex);          // lends the raw pointer (implicit conversion)
//   tex.Reset();                // releases now; the destructor would anyway
//
// MakeComPtr<T>(args) creates a reference-counted object (RefCounted, or any
// class whose count starts at one) straight into its ComPtr.
#pragma once

#include <type_traits>
#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* adopted) : m_p(adopted) {}  // takes over one reference
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    // From a holder of a derived type (an object as its interface).
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(ComPtr<U>&& other) noexcept : m_p(other.Detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_p, nullptr));
        return *this;
    }
    ~ComPtr() { Reset(); }

    // A holder of one more reference to `lent` (AddRef), for an object that
    // is kept beyond the call that lent it.
    static ComPtr Share(T* lent) {
        if (lent) lent->AddRef();
        return ComPtr(lent);
    }

    // Releases the held reference (if any) and takes over `adopted`.
    void Reset(T* adopted = nullptr) {
        T* old = std::exchange(m_p, adopted);
        if (old) old->Release();
    }
    // For creation calls that write a new reference through a T**: releases
    // what is held first.
    T** Out() {
        Reset();
        return &m_p;
    }
    // Gives up ownership without releasing.
    T* Detach() { return std::exchange(m_p, nullptr); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    operator T*() const { return m_p; }  // lends the pointer to calls that do not keep it

private:
    T* m_p = nullptr;
};

// A new T made from `args`, holding the one reference it starts with. Running
// out of memory throws std::bad_alloc; the platform calls that use this catch
// it once at their entry (CatchOutOfMemory, alloc.h).
template <typename T, typename... Args>
ComPtr<T> MakeComPtr(Args&&... args) {
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}
