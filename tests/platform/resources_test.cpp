#include "platform/resources.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Resources, PicturesAreCompiledIn) {
  for (std::uint32_t number : {128u, 129u, 140u}) {
    const auto bytes = platform::findResource(platform::moduleHandle(), "PNG", number);
    ASSERT_GT(bytes.size(), 1000u) << number;
    EXPECT_EQ(std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8), 0) << number;
  }
  EXPECT_EQ(platform::findResource(platform::moduleHandle(), "PNG", 0x10080).data(),
            platform::findResource(platform::moduleHandle(), "PNG", 128).data());
  EXPECT_TRUE(platform::findResource(platform::moduleHandle(), "BMP", 128).empty());
  EXPECT_TRUE(platform::findResource(platform::moduleHandle(), "PNG", 130).empty());
  EXPECT_EQ(platform::loadClassicBitmap(platform::moduleHandle(), 128), nullptr);
}
