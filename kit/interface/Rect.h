#ifndef _RECT_H
#define _RECT_H

#include <Point.h>
#include <SupportDefs.h>

// A rectangle: four floats left, top, right, bottom, in that order in
// memory (stored settings rely on it).
//
// Mapping to pixels, used throughout the interface kit: a rectangle covers
// the pixels from left up to, but not including, right (and likewise top to
// bottom). So a view or window is Width() = right - left pixels wide, and
// the frame (30, 50, 430, 175) is a window of 400 by 125 pixels at x 30,
// y 50. Bounds() of such a window is (0, 0, 400, 125).
class BRect {
public:
			float			left;
			float			top;
			float			right;
			float			bottom;

	// The default rectangle is invalid, as on the platform.
							BRect() : left(0), top(0), right(-1), bottom(-1) {}
							BRect(float l, float t, float r, float b)
								: left(l), top(t), right(r), bottom(b) {}
							BRect(BPoint leftTop, BPoint rightBottom)
								: left(leftTop.x), top(leftTop.y),
								  right(rightBottom.x), bottom(rightBottom.y) {}

			void			Set(float l, float t, float r, float b)
								{ left = l; top = t; right = r; bottom = b; }

			float			Width() const { return right - left; }
			float			Height() const { return bottom - top; }
			int32			IntegerWidth() const;
			int32			IntegerHeight() const;
			bool			IsValid() const
								{ return left <= right && top <= bottom; }

			BPoint			LeftTop() const { return BPoint(left, top); }
			BPoint			RightBottom() const
								{ return BPoint(right, bottom); }
			BPoint			LeftBottom() const { return BPoint(left, bottom); }
			BPoint			RightTop() const { return BPoint(right, top); }

			BRect&			OffsetBy(float dx, float dy);
			BRect&			OffsetBy(BPoint delta)
								{ return OffsetBy(delta.x, delta.y); }
			BRect&			OffsetTo(float x, float y);
			BRect&			OffsetTo(BPoint point)
								{ return OffsetTo(point.x, point.y); }
			BRect&			InsetBy(float dx, float dy);
			BRect			OffsetByCopy(float dx, float dy) const;
			BRect			InsetByCopy(float dx, float dy) const;

			// Inside or on the left/top edge, before the right/bottom edge.
			bool			Contains(BPoint point) const;
			bool			Contains(BRect other) const;
			bool			Intersects(BRect other) const;

			bool			operator==(const BRect& other) const;
			bool			operator!=(const BRect& other) const
								{ return !(*this == other); }

			void			PrintToStream() const;
};

#endif
