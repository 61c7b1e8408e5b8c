#ifndef _GRAPHICS_DEFS_H
#define _GRAPHICS_DEFS_H

#include <SupportDefs.h>

// A colour: red, green, blue and alpha bytes. View colours are painted
// opaque whatever their alpha (the platform's programs use alpha 0 for
// solid colours).
struct rgb_color {
	uint8	red;
	uint8	green;
	uint8	blue;
	uint8	alpha;

	bool	operator==(const rgb_color& other) const
				{ return red == other.red && green == other.green
					&& blue == other.blue && alpha == other.alpha; }
	bool	operator!=(const rgb_color& other) const
				{ return !(*this == other); }
};

inline rgb_color
make_color(uint8 red, uint8 green, uint8 blue, uint8 alpha = 255)
{
	rgb_color color = {red, green, blue, alpha};
	return color;
}

#endif
