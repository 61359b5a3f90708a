#include "PtrArray.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
void** AllocateZeroed(int32_t capacity)
{
    if (capacity <= 0)
        return nullptr;
    void** p = static_cast<void**>(std::calloc(static_cast<size_t>(capacity), sizeof(void*)));
    if (!p)
        throw std::bad_alloc();
    return p;
}
} // namespace

PtrArray::PtrArray()
    : m_pData(AllocateZeroed(10))
    , m_nSize(0)
    , m_nCapacity(10)
    , m_nGrowBy(1)
{
}

PtrArray::~PtrArray()
{
    if (m_nCapacity > 0)
        std::free(m_pData);
}

PtrArray::PtrArray(const PtrArray& other)
    : m_pData(AllocateZeroed(other.m_nCapacity))
    , m_nSize(other.m_nSize)
    , m_nCapacity(other.m_nCapacity)
    , m_nGrowBy(other.m_nGrowBy)
{
    if (m_nSize > 0)
        std::memcpy(m_pData, other.m_pData, sizeof(void*) * static_cast<size_t>(m_nSize));
}

PtrArray& PtrArray::operator=(const PtrArray& other)
{
    if (this == &other)
        return *this;
    void** data = AllocateZeroed(other.m_nCapacity);
    if (other.m_nSize > 0)
        std::memcpy(data, other.m_pData, sizeof(void*) * static_cast<size_t>(other.m_nSize));
    if (m_nCapacity > 0)
        std::free(m_pData);
    m_pData = data;
    m_nSize = other.m_nSize;
    m_nCapacity = other.m_nCapacity;
    m_nGrowBy = other.m_nGrowBy;
    return *this;
}

void* PtrArray::GetAt(int32_t index) const
{
    if (index < 0 || index >= m_nSize)
        return nullptr;
    return m_pData[index];
}

bool PtrArray::SetAt(int32_t index, void* value)
{
    if (index < 0 || index >= m_nSize)
        return false;
    m_pData[index] = value;
    return true;
}

void PtrArray::Grow()
{
    // Capacity grows by the step, then the step changes: +3 while below 10,
    // else x1.2 truncated, so the array grows geometrically in the long run.
    int64_t capacity = static_cast<int64_t>(m_nCapacity) + (m_nGrowBy > 0 ? m_nGrowBy : 1);
    if (capacity > INT_MAX)
        capacity = INT_MAX;
    if (capacity <= m_nSize)
        throw std::bad_alloc();
    if (m_nGrowBy < 10)
        m_nGrowBy += 3;
    else
        m_nGrowBy = static_cast<int32_t>(m_nGrowBy * 1.2);
    void** data = AllocateZeroed(static_cast<int32_t>(capacity));
    if (m_nSize > 0)
        std::memcpy(data, m_pData, sizeof(void*) * static_cast<size_t>(m_nSize));
    if (m_nCapacity > 0)
        std::free(m_pData);
    m_pData = data;
    m_nCapacity = static_cast<int32_t>(capacity);
}

int32_t PtrArray::Add(void* value)
{
    if (m_nSize >= m_nCapacity)
        Grow();
    m_pData[m_nSize] = value;
    return m_nSize++;
}

bool PtrArray::RemoveAt(int32_t index)
{
    if (index < 0 || index >= m_nSize)
        return false;
    const size_t tail = static_cast<size_t>(m_nSize - index - 1);
    if (tail > 0)
        std::memmove(m_pData + index, m_pData + index + 1, sizeof(void*) * tail);
    --m_nSize;
    m_pData[m_nSize] = nullptr;
    return true;
}

void PtrArray::RemoveAll()
{
    if (m_nSize > 0)
        std::memset(m_pData, 0, sizeof(void*) * static_cast<size_t>(m_nSize));
    m_nSize = 0;
}

int32_t PtrArray::Find(const void* value) const
{
    for (int32_t i = 0; i < m_nSize; ++i)
        if (m_pData[i] == value)
            return i;
    return -1;
}
