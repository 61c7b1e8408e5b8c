#include <Rect.h>

#include <cmath>
#include <cstdio>


int32
BRect::IntegerWidth() const
{
	return (int32)std::ceil(right - left);
}


int32
BRect::IntegerHeight() const
{
	return (int32)std::ceil(bottom - top);
}


BRect&
BRect::OffsetBy(float dx, float dy)
{
	left += dx;
	right += dx;
	top += dy;
	bottom += dy;
	return *this;
}


BRect&
BRect::OffsetTo(float x, float y)
{
	right += x - left;
	bottom += y - top;
	left = x;
	top = y;
	return *this;
}


BRect&
BRect::InsetBy(float dx, float dy)
{
	left += dx;
	right -= dx;
	top += dy;
	bottom -= dy;
	return *this;
}


BRect
BRect::OffsetByCopy(float dx, float dy) const
{
	BRect copy(*this);
	return copy.OffsetBy(dx, dy);
}


BRect
BRect::InsetByCopy(float dx, float dy) const
{
	BRect copy(*this);
	return copy.InsetBy(dx, dy);
}


bool
BRect::Contains(BPoint point) const
{
	return point.x >= left && point.x < right && point.y >= top
		&& point.y < bottom;
}


bool
BRect::Contains(BRect other) const
{
	return other.left >= left && other.right <= right && other.top >= top
		&& other.bottom <= bottom;
}


bool
BRect::Intersects(BRect other) const
{
	if (!IsValid() || !other.IsValid())
		return false;
	return other.left < right && other.right > left && other.top < bottom
		&& other.bottom > top;
}


bool
BRect::operator==(const BRect& other) const
{
	return left == other.left && top == other.top && right == other.right
		&& bottom == other.bottom;
}


void
BRect::PrintToStream() const
{
	printf("BRect(l:%.1f, t:%.1f, r:%.1f, b:%.1f)\n", left, top, right,
		bottom);
}
