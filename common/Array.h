// CArray: the product's one growable array. Its elements are trivially copyable (bytes, numbers,
// pointers, plain records): they are moved by memcpy and never constructed or destroyed one by
// one. Growth reports failure instead of throwing or ending the process: the product is built
// without exceptions, a failed allocation must end in a refusal the caller chooses, and Kestrix
// runs inside its caller's process. Pure code, no Win32 header, so the readers build natively.
#pragma once

#include <stddef.h>
#include <string.h>

#include <new>
#include <type_traits>

template <typename T> class CArray {
    static_assert(std::is_trivially_copyable<T>::value, "CArray holds plain elements");

public:
    CArray() : m_p(nullptr), m_n(0), m_nCapacity(0) {}
    ~CArray() { delete[] reinterpret_cast<char*>(m_p); }
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;
    CArray(CArray&& other) noexcept
        : m_p(other.m_p), m_n(other.m_n), m_nCapacity(other.m_nCapacity) {
        other.m_p = nullptr;
        other.m_n = other.m_nCapacity = 0;
    }
    CArray& operator=(CArray&& other) noexcept {
        if (this != &other) {
            delete[] reinterpret_cast<char*>(m_p);
            m_p = other.m_p;
            m_n = other.m_n;
            m_nCapacity = other.m_nCapacity;
            other.m_p = nullptr;
            other.m_n = other.m_nCapacity = 0;
        }
        return *this;
    }

    T* Data() { return m_p; }
    const T* Data() const { return m_p; }
    size_t Size() const { return m_n; }
    int IsEmpty() const { return m_n == 0; }
    T& operator[](size_t i) { return m_p[i]; }
    const T& operator[](size_t i) const { return m_p[i]; }
    T& Back() { return m_p[m_n - 1]; }

    // Room for nCapacity elements in all, the elements kept. 0 when memory runs out (or the size
    // would not fit a size_t); the array is then unchanged.
    int Reserve(size_t nCapacity) {
        if (nCapacity <= m_nCapacity)
            return 1;
        if (nCapacity > static_cast<size_t>(-1) / 2 / sizeof(T))
            return 0;
        char* pNew = new (std::nothrow) char[nCapacity * sizeof(T)];
        if (pNew == nullptr)
            return 0;
        if (m_n > 0)
            memcpy(pNew, m_p, m_n * sizeof(T));
        delete[] reinterpret_cast<char*>(m_p);
        m_p = reinterpret_cast<T*>(pNew);
        m_nCapacity = nCapacity;
        return 1;
    }
    // Appends n elements (copied from p, or zero bytes when p is null), growing by doubling. 0
    // when memory runs out; the array is then unchanged.
    int Append(const T* p, size_t n) {
        if (n > m_nCapacity - m_n) {
            size_t nCapacity = m_nCapacity > 0 ? m_nCapacity : 16;
            while (nCapacity - m_n < n) {
                if (nCapacity > static_cast<size_t>(-1) / 4 / sizeof(T))
                    return 0;
                nCapacity *= 2;
            }
            if (!Reserve(nCapacity))
                return 0;
        }
        if (n > 0) {
            if (p != nullptr)
                memcpy(m_p + m_n, p, n * sizeof(T));
            else
                memset(static_cast<void*>(m_p + m_n), 0, n * sizeof(T));
        }
        m_n += n;
        return 1;
    }
    int Push(const T& item) { return Append(&item, 1); }
    // Holds n elements: a block of fixed size to write into through Data(). Elements beyond
    // the old size are left as they are (unset). 0 when memory runs out; the array is then
    // unchanged.
    int SetSize(size_t n) {
        if (!Reserve(n))
            return 0;
        m_n = n;
        return 1;
    }
    // Keeps the first n elements (n at most Size()).
    void Truncate(size_t n) { m_n = n; }
    void Clear() { m_n = 0; }

private:
    T* m_p;
    size_t m_n;
    size_t m_nCapacity;
};
