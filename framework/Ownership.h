#pragma once
// Owners of the resources that cross this module: interface references, task memory,
// kernel handles, registry keys and a thread's hold on the component runtime. Each releases what it
// holds when it goes.
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <utility>

// Holds one reference on an interface.
template <class T>
class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference of its own on a borrowed pointer.
    explicit ComPtr(T* borrowed) : pointer(borrowed)
    {
        if (pointer)
            pointer->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.pointer) {}
    ComPtr(ComPtr&& other) noexcept : pointer(other.pointer) { other.pointer = nullptr; }
    ~ComPtr() { Reset(); }

    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(pointer, other.pointer);
        return *this;
    }

    // Adopts a reference that the caller already owns.
    static ComPtr Adopt(T* owned)
    {
        ComPtr result;
        result.pointer = owned;
        return result;
    }

    T* Get() const { return pointer; }
    T* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    // Releases what was held and hands out the slot for an out parameter.
    T** Put()
    {
        Reset();
        return &pointer;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Passes the reference to the caller.
    T* Detach()
    {
        T* result = pointer;
        pointer = nullptr;
        return result;
    }

    void Reset()
    {
        T* old = pointer;
        pointer = nullptr;
        if (old)
            old->Release();
    }

private:
    T* pointer = nullptr;
};

// Owns task memory (CoTaskMemAlloc): page lists, pin ids, titles.
template <class T>
class CoTaskMemPtr
{
public:
    CoTaskMemPtr() = default;
    explicit CoTaskMemPtr(T* owned) : pointer(owned) {}
    CoTaskMemPtr(const CoTaskMemPtr&) = delete;
    CoTaskMemPtr& operator=(const CoTaskMemPtr&) = delete;
    ~CoTaskMemPtr() { Reset(); }

    static CoTaskMemPtr Allocate(size_t bytes)
    {
        return CoTaskMemPtr(static_cast<T*>(CoTaskMemAlloc(bytes)));
    }

    T* Get() const { return pointer; }
    T* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    T** Put()
    {
        Reset();
        return &pointer;
    }

    T* Detach()
    {
        T* result = pointer;
        pointer = nullptr;
        return result;
    }

    void Reset()
    {
        CoTaskMemFree(pointer);
        pointer = nullptr;
    }

private:
    T* pointer = nullptr;
};

// Owns a kernel handle; null and INVALID_HANDLE_VALUE both mean "none".
class UniqueHandle
{
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE owned) : handle(owned) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        Reset(other.Detach());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    HANDLE Get() const { return handle; }
    bool IsValid() const { return handle && handle != INVALID_HANDLE_VALUE; }

    HANDLE Detach()
    {
        HANDLE result = handle;
        handle = nullptr;
        return result;
    }

    void Reset(HANDLE owned = nullptr)
    {
        if (IsValid())
            CloseHandle(handle);
        handle = owned;
    }

private:
    HANDLE handle = nullptr;
};

// Owns an open registry key.
class UniqueRegKey
{
public:
    UniqueRegKey() = default;
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    ~UniqueRegKey() { Reset(); }

    HKEY Get() const { return key; }

    HKEY* Put()
    {
        Reset();
        return &key;
    }

    void Reset()
    {
        if (key)
            RegCloseKey(key);
        key = nullptr;
    }

private:
    HKEY key = nullptr;
};

// The calling thread's hold on the component runtime, in the apartment that `model`
// (COINIT_MULTITHREADED or COINIT_APARTMENTTHREADED, with any other COINIT flags) names,
// for as long as this lives. A thread already in another apartment is refused
// (RPC_E_CHANGED_MODE) and keeps it: only what this call initialised is uninitialised.
class ComApartment
{
public:
    explicit ComApartment(DWORD model) : result(CoInitializeEx(nullptr, model)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }

    HRESULT Result() const { return result; }

private:
    const HRESULT result;
};
