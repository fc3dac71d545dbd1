// Value-to-text conversions: fixed eight-character decimals with cut digits, and their companions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "effect/fadecrestvst.h"

namespace {

struct Formatter : testing::Test {
  std::string text(void (AudioEffect::*convert)(float, char*, VstInt32), float value, VstInt32 maxLen = 8) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof(buffer));
    (effect.*convert)(value, buffer, maxLen);
    EXPECT_EQ(buffer[maxLen], 0) << "terminator at the limit";
    return buffer;
  }
  std::string f2s(float value, VstInt32 maxLen = 8) {
    return text(&AudioEffect::float2string, value, maxLen);
  }
  std::string i2s(VstInt32 value) {
    char buffer[32];
    effect.int2string(value, buffer, 16);
    return buffer;
  }
  FadecrestVST effect{nullptr};
};

TEST_F(Formatter, FloatTextHasEightCharactersAndCutsDigits) {
  EXPECT_EQ(f2s(1.0f), "1.000000");
  EXPECT_EQ(f2s(60.0f), "60.00000");
  EXPECT_EQ(f2s(30.5f), "30.50000");
  EXPECT_EQ(f2s(18.7f), "18.70000");
  EXPECT_EQ(f2s(2.9999998f), "2.999999");
  EXPECT_EQ(f2s(-1.0f), "-1.00000");
  EXPECT_EQ(f2s(0.0f), "0.000000");
  EXPECT_EQ(f2s(1234567.0f), "1234567.");
  EXPECT_EQ(f2s(45.25f), "45.25000");
}

TEST_F(Formatter, FloatTextOutOfRangeIsHuge) {
  EXPECT_EQ(f2s(100000000.0f), "Huge!");
  EXPECT_EQ(f2s(-10000000.0f), "Huge!");
  EXPECT_NE(f2s(-9999999.0f), "Huge!");
  EXPECT_EQ(f2s(std::numeric_limits<float>::infinity()), "Huge!");
  EXPECT_EQ(f2s(-std::numeric_limits<float>::infinity()), "Huge!");
  EXPECT_EQ(f2s(std::nanf("")), "Huge!");
}

TEST_F(Formatter, FloatTextRespectsSmallerLimits) {
  EXPECT_EQ(f2s(30.5f, 4), "30.5");
  EXPECT_EQ(f2s(30.5f, 2), "30");
  EXPECT_EQ(f2s(100000000.0f, 3), "Hug");
}

TEST_F(Formatter, DecibelsHertzAndMilliseconds) {
  EXPECT_EQ(text(&AudioEffect::dB2string, 0.0f), "-oo");
  EXPECT_EQ(text(&AudioEffect::dB2string, -2.0f), "-oo");
  EXPECT_EQ(text(&AudioEffect::dB2string, 1.0f), "0.000000");
  EXPECT_EQ(text(&AudioEffect::Hz2string, 0.0f), "0.000000");
  EXPECT_EQ(text(&AudioEffect::Hz2string, 441.0f), "100.0000");
  EXPECT_EQ(text(&AudioEffect::ms2string, 44100.0f), "1000.000");
}

TEST_F(Formatter, IntegerText) {
  EXPECT_EQ(i2s(0), "0");
  EXPECT_EQ(i2s(-42), "-42");
  EXPECT_EQ(i2s(7), "7");
  EXPECT_EQ(i2s(1000), "1000");
  EXPECT_EQ(i2s(99999999), "99999999");
  EXPECT_EQ(i2s(100000000), "Huge!");
  EXPECT_EQ(i2s(-123456789), "-123456789");
  EXPECT_EQ(i2s(std::numeric_limits<VstInt32>::min()), "Huge!");
}

}  // namespace
