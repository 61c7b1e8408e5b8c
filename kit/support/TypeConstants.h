#ifndef _TYPE_CONSTANTS_H
#define _TYPE_CONSTANTS_H

// Type codes: four characters, the first one most significant.
enum {
	B_BOOL_TYPE = 'BOOL',
	B_INT32_TYPE = 'LONG',
	B_RECT_TYPE = 'RECT',
	B_STRING_TYPE = 'CSTR',
	B_ANY_TYPE = 'ANYT',
};

#endif
