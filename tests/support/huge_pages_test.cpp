// Advising huge pages is a hint: the arrays must read and write as ever.
#include "support/huge_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orthomix {
namespace {

TEST(HugePages, AdvisedArraysKeepTheirContentsAndSizes) {
    // 40 MB: several whole huge pages and ragged ends on both sides.
    const std::size_t count = 5'000'003;
    std::vector<double> values = {1.5, -2.5};
    reserveWithHugePages(values, count);
    ASSERT_GE(values.capacity(), count);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0], 1.5) << "what the vector held moves into the new room";
    EXPECT_EQ(values[1], -2.5);
    for (std::size_t i = 2; i < count; ++i) values.push_back(static_cast<double>(i));
    EXPECT_EQ(values.back(), static_cast<double>(count - 1));

    assignWithHugePages(values, 3, 7.0);
    EXPECT_EQ(values, (std::vector<double>{7.0, 7.0, 7.0})) << "a smaller assignment keeps the room";
    std::vector<std::uint32_t> labels;
    assignWithHugePages(labels, 3'000'001, 9u);
    ASSERT_EQ(labels.size(), 3'000'001u);
    EXPECT_EQ(labels.front(), 9u);
    EXPECT_EQ(labels.back(), 9u);

    std::string text;
    reserveWithHugePages(text, 6u << 20);
    text.assign(6u << 20, 'x');
    EXPECT_EQ(text[(6u << 20) - 1], 'x');
    // Small, empty and unaligned ranges are left alone without harm.
    adviseHugePages(nullptr, 1u << 30);
    adviseHugePages(text.data() + 1, 100);
    adviseHugePages(text.data() + 3, text.size() - 3);
    EXPECT_EQ(text.find_first_not_of('x'), std::string::npos);
}

TEST(HugePages, LargeBlocksOfTheAllocatorStartOnAHugePageAndSmallOnesWorkAsEver) {
    HugePageVector<double> values;
    values.assign(300'000, 2.0);  // 2.4 MB
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values.data()) % kHugePageBytes, 0u);
    EXPECT_EQ(values.back(), 2.0);
    // Growing from a small block into a large one and back keeps the contents.
    HugePageVector<std::uint32_t> labels = {4u, 5u};
    for (std::uint32_t i = 0; i < 1'000'000; ++i) labels.push_back(i);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(labels.data()) % kHugePageBytes, 0u);
    EXPECT_EQ(labels[0], 4u);
    EXPECT_EQ(labels[1], 5u);
    EXPECT_EQ(labels.back(), 999'999u);
    labels.resize(3);
    labels.shrink_to_fit();
    EXPECT_EQ(labels, (HugePageVector<std::uint32_t>{4u, 5u, 0u}));
    HugePageVector<double> copy = values;
    EXPECT_EQ(copy, values);
    HugePageAllocator<double> allocator;
    EXPECT_THROW((void)allocator.allocate(static_cast<std::size_t>(-1) / 4), std::bad_array_new_length);
}

}  // namespace
}  // namespace orthomix
