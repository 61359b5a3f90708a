#include "PtrArray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
// The fields as a module sees them: read from the raw bytes at the offsets
// of the module contract, not through the struct's members.
struct RawView
{
    void** data;
    int32_t count, capacity, step;
};

RawView Raw(const PtrArray& a)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&a);
    RawView v {};
    std::memcpy(&v.data, bytes + 0, sizeof(v.data));
    std::memcpy(&v.count, bytes + 8, 4);
    std::memcpy(&v.capacity, bytes + 12, 4);
    std::memcpy(&v.step, bytes + 16, 4);
    return v;
}

void* P(intptr_t n)
{
    return reinterpret_cast<void*>(n);
}

TEST(PtrArrayTest, NewArrayHasCapacityTenStepOneAndZeroedStorage)
{
    PtrArray a;
    const RawView v = Raw(a);
    EXPECT_EQ(v.data, a.m_pData);
    EXPECT_EQ(v.count, 0);
    EXPECT_EQ(v.capacity, 10);
    EXPECT_EQ(v.step, 1);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(v.data[i], nullptr) << i;
}

TEST(PtrArrayTest, GrowsByTheStepThenChangesTheStep)
{
    // capacity += step; then step + 3 while below 10, else step x 1.2 truncated.
    const struct
    {
        int32_t capacity, step;
    } growths[]
        = { { 11, 4 }, { 15, 7 }, { 22, 10 }, { 32, 12 }, { 44, 14 }, { 58, 16 }, { 74, 19 }, { 93, 22 }, { 115, 26 } };
    PtrArray a;
    size_t next = 0;
    for (intptr_t n = 1; n <= 115; ++n) {
        const int32_t before = Raw(a).capacity;
        a.Add(P(n));
        const RawView v = Raw(a);
        if (v.capacity != before) {
            ASSERT_LT(next, std::size(growths));
            EXPECT_EQ(v.capacity, growths[next].capacity) << "growth " << next;
            EXPECT_EQ(v.step, growths[next].step) << "growth " << next;
            ++next;
            // Old elements were copied and the new tail is zero-filled.
            for (int32_t i = 0; i < v.count; ++i)
                ASSERT_EQ(v.data[i], P(i + 1));
            for (int32_t i = v.count; i < v.capacity; ++i)
                ASSERT_EQ(v.data[i], nullptr) << i;
        }
        EXPECT_EQ(v.count, n);
    }
    EXPECT_EQ(next, std::size(growths));
}

TEST(PtrArrayTest, RemoveShiftsDownAndBoundsAreChecked)
{
    PtrArray a;
    for (intptr_t n = 1; n <= 5; ++n)
        a.Add(P(n));
    EXPECT_TRUE(a.RemoveAt(1));
    EXPECT_FALSE(a.RemoveAt(4));
    EXPECT_FALSE(a.RemoveAt(-1));
    std::vector<void*> rest;
    for (int32_t i = 0; i < a.GetSize(); ++i)
        rest.push_back(a.GetAt(i));
    EXPECT_EQ(rest, (std::vector<void*> { P(1), P(3), P(4), P(5) }));
    EXPECT_EQ(Raw(a).data[4], nullptr);
    EXPECT_EQ(a.GetAt(4), nullptr);
    EXPECT_EQ(a.GetAt(-1), nullptr);
    EXPECT_FALSE(a.SetAt(4, P(9)));
    EXPECT_EQ(a.Find(P(4)), 2);
    EXPECT_EQ(a.Find(P(2)), -1);
    a.RemoveAll();
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_EQ(Raw(a).capacity, 10);
}

TEST(PtrArrayTest, CopiesAreIndependent)
{
    PtrArray a;
    for (intptr_t n = 1; n <= 12; ++n)
        a.Add(P(n));
    PtrArray b = a;
    EXPECT_NE(Raw(b).data, Raw(a).data);
    EXPECT_EQ(Raw(b).capacity, Raw(a).capacity);
    EXPECT_EQ(Raw(b).step, Raw(a).step);
    b.SetAt(0, P(99));
    EXPECT_EQ(a.GetAt(0), P(1));
    PtrArray c;
    c = b;
    c = c;
    EXPECT_EQ(c.GetAt(0), P(99));
    EXPECT_EQ(c.GetSize(), 12);
}
} // namespace
