#ifndef _INTERFACE_DEFS_H
#define _INTERFACE_DEFS_H

#include <GraphicsDefs.h>
#include <SupportDefs.h>

// Resizing modes: each nibble says what one edge of a view does when its
// parent changes size, from the most significant: top, left, bottom, right.
// An edge that follows the parent's top or left stays where it is; one that
// follows the bottom or right moves by the parent's growth; centre moves by
// half of it.
#define _rule_(r1, r2, r3, r4) (((r1) << 12) | ((r2) << 8) | ((r3) << 4) | (r4))

enum {
	_VIEW_TOP_ = 1,
	_VIEW_LEFT_ = 2,
	_VIEW_BOTTOM_ = 3,
	_VIEW_RIGHT_ = 4,
	_VIEW_CENTER_ = 5
};

#define B_FOLLOW_NONE			0
#define B_FOLLOW_ALL_SIDES		_rule_(_VIEW_TOP_, _VIEW_LEFT_, _VIEW_BOTTOM_, \
									_VIEW_RIGHT_)
#define B_FOLLOW_ALL			B_FOLLOW_ALL_SIDES
#define B_FOLLOW_LEFT			_rule_(0, _VIEW_LEFT_, 0, _VIEW_LEFT_)
#define B_FOLLOW_RIGHT			_rule_(0, _VIEW_RIGHT_, 0, _VIEW_RIGHT_)
#define B_FOLLOW_LEFT_RIGHT		_rule_(0, _VIEW_LEFT_, 0, _VIEW_RIGHT_)
#define B_FOLLOW_H_CENTER		_rule_(0, _VIEW_CENTER_, 0, _VIEW_CENTER_)
#define B_FOLLOW_TOP			_rule_(_VIEW_TOP_, 0, _VIEW_TOP_, 0)
#define B_FOLLOW_BOTTOM			_rule_(_VIEW_BOTTOM_, 0, _VIEW_BOTTOM_, 0)
#define B_FOLLOW_TOP_BOTTOM		_rule_(_VIEW_TOP_, 0, _VIEW_BOTTOM_, 0)
#define B_FOLLOW_V_CENTER		_rule_(_VIEW_CENTER_, 0, _VIEW_CENTER_, 0)

// View flags.
enum {
	B_FULL_UPDATE_ON_RESIZE	= 0x80000000,
	B_WILL_DRAW				= 0x20000000,
	B_PULSE_NEEDED			= 0x10000000,
	B_NAVIGABLE_JUMP		= 0x08000000,
	B_FRAME_EVENTS			= 0x04000000,
	B_NAVIGABLE				= 0x02000000,
	B_SUBPIXEL_PRECISE		= 0x01000000,
	B_DRAW_ON_CHILDREN		= 0x00800000
};

enum border_style {
	B_PLAIN_BORDER = 0,
	B_FANCY_BORDER = 1,
	B_NO_BORDER = 2
};

enum window_type {
	B_UNTYPED_WINDOW = 0,
	B_TITLED_WINDOW = 1,
	B_MODAL_WINDOW = 3,
	B_DOCUMENT_WINDOW = 11,
	B_BORDERED_WINDOW = 20,
	B_FLOATING_WINDOW = 21
};

// Window flags.
enum {
	B_NOT_MOVABLE				= 0x00000001,
	B_NOT_RESIZABLE				= 0x00000002,
	B_NOT_H_RESIZABLE			= 0x00000004,
	B_NOT_V_RESIZABLE			= 0x00000008,
	B_WILL_ACCEPT_FIRST_CLICK	= 0x00000010,
	B_NOT_CLOSABLE				= 0x00000020,
	B_NOT_ZOOMABLE				= 0x00000040,
	B_AVOID_FRONT				= 0x00000080,
	B_AVOID_FOCUS				= 0x00002000,
	B_NOT_MINIMIZABLE			= 0x00004000,
	B_ASYNCHRONOUS_CONTROLS		= 0x00080000,
	B_QUIT_ON_WINDOW_CLOSE		= 0x00100000
};

#define B_CURRENT_WORKSPACE	0
#define B_ALL_WORKSPACES	0xffffffff

// Keyboard modifier bits. On this platform the Alt keys are the Command
// keys and the Super ("Windows") keys are the Option keys.
enum {
	B_SHIFT_KEY				= 0x00000001,
	B_COMMAND_KEY			= 0x00000002,
	B_CONTROL_KEY			= 0x00000004,
	B_CAPS_LOCK				= 0x00000008,
	B_SCROLL_LOCK			= 0x00000010,
	B_NUM_LOCK				= 0x00000020,
	B_OPTION_KEY			= 0x00000040,
	B_MENU_KEY				= 0x00000080,
	B_LEFT_SHIFT_KEY		= 0x00000100,
	B_RIGHT_SHIFT_KEY		= 0x00000200,
	B_LEFT_COMMAND_KEY		= 0x00000400,
	B_RIGHT_COMMAND_KEY		= 0x00000800,
	B_LEFT_CONTROL_KEY		= 0x00001000,
	B_RIGHT_CONTROL_KEY		= 0x00002000,
	B_LEFT_OPTION_KEY		= 0x00004000,
	B_RIGHT_OPTION_KEY		= 0x00008000
};

// The characters of keys that have no glyph.
enum {
	B_BACKSPACE = 0x08,
	B_TAB = 0x09,
	B_ENTER = 0x0a,
	B_ESCAPE = 0x1b,
	B_DELETE = 0x7f
};

// Key codes of the keys that produce no character and are reported as
// B_UNMAPPED_KEY_DOWN ("key" field).
enum {
	B_LEFT_OPTION_KEY_CODE = 102,
	B_RIGHT_OPTION_KEY_CODE = 103
};

// Control values.
enum {
	B_CONTROL_OFF = 0,
	B_CONTROL_ON = 1
};

// The panel background of controls that were given no view colour.
rgb_color ui_panel_background_color();

// Connects to the X display named by DISPLAY, once per process. When that
// fails it writes one line saying so to standard error and returns an error;
// it never ends the process itself. The first BWindow calls it and ends the
// process (status 1) when there is no display; a program may call it earlier
// to end on its own terms.
status_t open_display();

#endif
