#ifndef RDX_DEFS_H
#define RDX_DEFS_H

#include <SupportDefs.h>

#include <string>

// The application's signature: other programs post tag reads to it.
#define RDX_SIGNATURE "application/x-vnd-RDX-BeOS"

// The board address used until the operator enters another one. It is a
// private-range address: a board freshly unpacked answers there.
#define RDX_DEFAULT_IP "192.168.1.250"

// The first frame of the main window: left, top, width, height.
extern float WIN_X;
extern float WIN_Y;
extern float WIN_W;
extern float WIN_H;

// Message codes.
enum {
	// A relay request: the start argument of a relay worker, never posted.
	RDX_MSG_REQUEST = 'dwrx',
	// Worker reports.
	RDX_MSG_STATUS = 'rx_s',
	RDX_MSG_CLOSE = 'rx_c',
	RDX_MSG_NO_ANSWER = 'rx_k',
	// Panel controls.
	RDX_MSG_OPEN_ALL = 'rx_o',
	RDX_MSG_USE = 'rx_u',
	RDX_MSG_ADDRESS = 'rx_i',
	RDX_MSG_HOLD_TIME = 'rxca',
	RDX_MSG_RELAY_1 = 'rx_1',
	RDX_MSG_RELAY_2 = 'rx_2',
	RDX_MSG_RELAY_3 = 'rx_3',
	RDX_MSG_RELAY_4 = 'rx_4',
	// A tag was read, posted by another program.
	RDX_MSG_TAG = 'RFID',
	// Reload the settings.
	RDX_MSG_RELOAD = 'rPrf',
	// Page buttons.
	RDX_MSG_MAIN_PAGE = '_NP1',
	RDX_MSG_OWNER_PAGE = '_NP2',
	// The notice rdx sends to its watchers when board use, the address,
	// the hold time or the tag relay changes, and to a new watcher: every
	// setting, and the relay status string.
	RDX_NOTICE_SETTINGS = 'rxSt',
	// Platform codes the window ignores.
	RDX_MSG_KEY_DOWN_OLD = '_KDN',
	RDX_MSG_PBL = '_PBL',
};

// The codes the application hands on to the main window's handler: tag
// reads, worker reports, the panel's controls, the settings reload, and the
// desk's keep-open and lockdown (DeskDefs.h).
bool IsWindowCode(uint32 code);

// The codes whose messages rdx passes on to its watchers as they arrive:
// tag reads and worker reports.
bool IsNoticeCode(uint32 code);

// Field names.
#define RDX_FIELD_IP "ip"
#define RDX_FIELD_REL "rel"
#define RDX_FIELD_ST "st"
#define RDX_FIELD_DELAY "delay"
#define RDX_FIELD_RELAIS "relais"
#define RDX_FIELD_IMAGE "_rImage"
#define RDX_FIELD_OPEN "r_open"
#define RDX_FIELD_TAG "_tagstr"
// Which reader read the tag, where the sender says so: its device path
// (rdx-reader), "pcsc:<reader>", "mqtt".
#define RDX_FIELD_READER "reader"
#define RDX_FIELD_MODIFIERS "modifiers"
#define RDX_FIELD_KEY "key"
// Board use, in the settings notice and in a 'rx_u' that sets it.
#define RDX_FIELD_USE "use"
// Until when a tag read counts, where the sender says so: the time after
// which it has stopped waiting for rdx to take the message. Microseconds
// of CLOCK_BOOTTIME (system_time()), in decimal, which every process of
// the machine shares, no clock change moves and a suspend does not stop:
// a read queued before the machine slept is late after it wakes. rdx
// opens nothing for a read that it takes later than that.
#define RDX_FIELD_DEADLINE "deadline"

// The deadline as the field carries it.
std::string FormatDeadline(bigtime_t deadline);
// The field's deadline; false for a text that is none.
bool ParseDeadline(const char* text, bigtime_t* deadline);

#endif
