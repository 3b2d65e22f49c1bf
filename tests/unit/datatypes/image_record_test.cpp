// The image record's own operations that no action reaches directly: nearest-neighbour
// resizing, cropping, and the bitmap made from binaries.
#include <gtest/gtest.h>

#include <vector>

#include "../support/session.h"
#include "datatypes/image.h"
#include "datatypes/image_record.h"

namespace kaz {
namespace {

std::vector<uint32_t> pixels_of(node_t record, uint32_t count) {
  const uint32_t* p = image_record::pixels(record);
  return std::vector<uint32_t>(p, p + count);
}

class ImageRecord : public ::testing::Test {
 protected:
  void SetUp() override { testing::boot(); }
};

TEST_F(ImageRecord, ResizeSamplesPixelCentres) {
  stack::saved_state saved = stack::save();
  cell img = *testing::eval("make image! [2x1 #{FF000000FF00}]");
  node_t wide = image_record::resize(img.data2, 2, 1, 4, 1);
  EXPECT_EQ(pixels_of(wide, 4),
            (std::vector<uint32_t>{0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xFF00FF00}));
  cell row =
      *testing::eval("make image! [4x2 #{000000010101020202030303040404050505060606070707}]");
  node_t small = image_record::resize(row.data2, 4, 2, 2, 1);
  EXPECT_EQ(pixels_of(small, 2), (std::vector<uint32_t>{0xFF050505, 0xFF070707}));
  node_t tall = image_record::resize(img.data2, 2, 1, 1, 3);
  EXPECT_EQ(pixels_of(tall, 3), (std::vector<uint32_t>{0xFF00FF00, 0xFF00FF00, 0xFF00FF00}));
  stack::unwind_to(saved);
}

TEST_F(ImageRecord, CopyPartAndMakeBitmap) {
  stack::saved_state saved = stack::save();
  cell img = *testing::eval("make image! [3x2 #{010101020202030303040404050505060606}]");
  node_t part = image_record::copy_part(img.data2, 3, 1, 0, 2, 2);
  EXPECT_EQ(pixels_of(part, 4),
            (std::vector<uint32_t>{0xFF020202, 0xFF030303, 0xFF050505, 0xFF060606}));
  cell rgb = *testing::eval("#{0A0B0C0D}");
  cell alpha = *testing::eval("#{FF}");
  node_t made = image_record::make_bitmap(2, 2, &rgb, &alpha, nullptr);
  EXPECT_EQ(pixels_of(made, 4),
            (std::vector<uint32_t>{0x000A0B0C, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
  EXPECT_TRUE(image_record::size_allowed(65535, 8000));
  EXPECT_FALSE(image_record::size_allowed(65536, 1));
  EXPECT_FALSE(image_record::size_allowed(40000, 40000));
  stack::unwind_to(saved);
}

}  // namespace
}  // namespace kaz
