#include <gtest/gtest.h>

#include "vstgui/cbase.h"

using namespace VSTGUI;

TEST(Rect, BoundIsAClampedIntersection) {
  CRect r(0, 0, 10, 10);
  EXPECT_EQ(r.bound(CRect(20, 20, 30, 30)), CRect(20, 20, 20, 20));
  CRect overlap(0, 0, 10, 10);
  EXPECT_EQ(overlap.bound(CRect(5, -5, 15, 7)), CRect(5, 0, 10, 7));
  CRect negative(-10, -10, -5, -5);
  EXPECT_EQ(negative.bound(CRect(-7, -20, 0, -8)), CRect(-7, -10, -5, -8));
}

TEST(Rect, PointInsideCountsAllFourEdges) {
  const CRect r(0, 0, 10, 10);
  EXPECT_TRUE(r.pointInside(CPoint(10, 10)));
  EXPECT_TRUE(r.pointInside(CPoint(0, 0)));
  EXPECT_FALSE(r.pointInside(CPoint(11, 10)));
  EXPECT_FALSE(r.pointInside(CPoint(5, -1)));
}

TEST(Rect, OrderedSetSwapsReversedPairs) {
  CRect r;
  EXPECT_EQ(r.setOrdered(0, 0, 20, -10), CRect(0, -10, 20, 0));
  EXPECT_EQ(r.setOrdered(5, 8, -3, 9), CRect(-3, 8, 5, 9));
  EXPECT_EQ(CRect(1, 2, 4, 8).offset(10, -2), CRect(11, 0, 14, 6));
}

namespace {
struct Tracked : CReferenceCounter {
  explicit Tracked(bool* destroyed) : destroyed(destroyed) {}
  ~Tracked() override { *destroyed = true; }
  bool* destroyed;
};
}  // namespace

TEST(ReferenceCounter, LastForgetDestroys) {
  bool destroyed = false;
  auto* object = new Tracked(&destroyed);
  EXPECT_EQ(object->getNbReference(), 1);
  object->remember();
  object->forget();
  EXPECT_FALSE(destroyed);
  object->forget();
  EXPECT_TRUE(destroyed);
}

TEST(Color, PredefinedColours) {
  EXPECT_EQ(kColorTransparent, (CColor{255, 255, 255, 0}));
  EXPECT_EQ(kColorGrey, (CColor{127, 127, 127, 255}));
  EXPECT_NE(kColorWhite, kColorTransparent);  // alpha takes part in comparisons
}
