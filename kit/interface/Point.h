#ifndef _POINT_H
#define _POINT_H

#include <SupportDefs.h>

// A point in some view's coordinate system.
class BPoint {
public:
			float			x;
			float			y;

							BPoint() : x(0), y(0) {}
							BPoint(float X, float Y) : x(X), y(Y) {}

			void			Set(float X, float Y) { x = X; y = Y; }

			BPoint			operator+(const BPoint& other) const
								{ return BPoint(x + other.x, y + other.y); }
			BPoint			operator-(const BPoint& other) const
								{ return BPoint(x - other.x, y - other.y); }
			BPoint&			operator+=(const BPoint& other)
								{ x += other.x; y += other.y; return *this; }
			BPoint&			operator-=(const BPoint& other)
								{ x -= other.x; y -= other.y; return *this; }
			bool			operator==(const BPoint& other) const
								{ return x == other.x && y == other.y; }
			bool			operator!=(const BPoint& other) const
								{ return !(*this == other); }

			void			PrintToStream() const;
};

#endif
