// ComPtr<T>: the one owner of one reference to a reference-counted platform
// object (device, texture, buffer, mesh, X-file object: anything with
// Release()). Move-only, so ownership is visible in the type and a second
// creation or an early return cannot leak or release twice.
//
//   ComPtr<IDirect3DTexture8> tex;
//   if (FAILED(D3DXCreateTextureFromResource(device, name, tex.Out()))) ...
//   renderer.Use(tex);          // lends the raw pointer (implicit conversion)
//   tex.Reset();                // releases now; the destructor would anyway
#pragma once

#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* adopted) : m_p(adopted) {}  // takes over one reference
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_p, nullptr));
        return *this;
    }
    ~ComPtr() { Reset(); }

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
