#pragma once

#include <cstddef>
#include <cstdint>

// The growable array of untyped pointers handed to the modules' GetAllRules
// and used for rule lists and library-handle lists. Its layout is part of
// the module contract, so it stays a standard-layout struct.
struct PtrArray
{
    void** m_pData;        // element storage, zero-filled beyond m_nSize
    int32_t m_nSize;       // number of elements
    int32_t m_nCapacity;   // allocated slots
    int32_t m_nGrowBy;     // growth step, changed after every growth

    // Capacity 10 and step 1, storage zero-filled.
    PtrArray();
    ~PtrArray();
    PtrArray(const PtrArray& other);
    PtrArray& operator=(const PtrArray& other);

    // Number of elements.
    int32_t GetSize() const { return m_nSize; }
    // Element at a 0-based position; null when out of range.
    void* GetAt(int32_t index) const;
    // Replaces the element at a position; false when out of range.
    bool SetAt(int32_t index, void* value);
    // Appends and returns the new element's position (growing first when full).
    int32_t Add(void* value);
    // Removes one element, shifting the later ones down; false when out of range.
    bool RemoveAt(int32_t index);
    // Removes every element; the storage is kept.
    void RemoveAll();
    // Position of the first element equal to value, or -1.
    int32_t Find(const void* value) const;

private:
    void Grow();
};

static_assert(offsetof(PtrArray, m_pData) == 0, "module contract: storage at offset 0");
static_assert(offsetof(PtrArray, m_nSize) == 8, "module contract: count at offset 8");
static_assert(offsetof(PtrArray, m_nCapacity) == 12, "module contract: capacity at offset 12");
static_assert(offsetof(PtrArray, m_nGrowBy) == 16, "module contract: step at offset 16");
