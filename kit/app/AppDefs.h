#ifndef _APP_DEFS_H
#define _APP_DEFS_H

#include <SupportDefs.h>

// System message codes.
enum {
	B_QUIT_REQUESTED = '_QRQ',
	B_KEY_DOWN = '_KYD',
	B_KEY_UP = '_KYU',
	B_UNMAPPED_KEY_DOWN = '_UKD',
	B_UNMAPPED_KEY_UP = '_UKU',
	B_MODIFIERS_CHANGED = '_MCH',
	B_MOUSE_DOWN = '_MDN',
	B_MOUSE_MOVED = '_MMV',
	B_MOUSE_UP = '_MUP',
	B_PULSE = '_PUL',
	B_READY_TO_RUN = '_RTR',
};

#endif
