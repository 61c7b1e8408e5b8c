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
	// A notice from a watched handler (see BHandler::SendNotices).
	B_OBSERVER_NOTICE_CHANGE = 'NTCH',
	// Sent by a client of an application's message port to become a
	// watcher of the application; the application receives it too, so
	// that it can tell the new watcher how things stand.
	B_START_WATCHING = '_SWT',
};

// Launch flags of an application. An exclusive one does not start while
// another instance of the same signature runs for the user.
enum {
	B_MULTIPLE_LAUNCH = 0,
	B_EXCLUSIVE_LAUNCH = 1,
};

// Watching every notice a handler sends, whatever its code.
#define B_OBSERVER_OBSERVE_ALL 0xffffffffu

// Fields of a notice: the code it was sent with, and the code of the
// message it was made from.
#define B_OBSERVE_WHAT_CHANGE "be:observe_change_what"
#define B_OBSERVE_ORIGINAL_WHAT "be:observe_orig_what"

#endif
