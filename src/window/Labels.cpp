#include "Labels.h"

#include <Locale.h>

// Every label number keeps its place, so the table holds texts the window
// never shows as well; the last entry ends the table.
const char* const eLabel[] = {
	"OK",	// 0
	"Cancel",	// 1
	"Yes",	// 2
	"No",	// 3
	"Open",	// 4
	"Close",	// 5
	"Save",	// 6
	"Quit",	// 7
	"About",	// 8
	"Help",	// 9
	"Settings",	// 10
	"Relay",	// 11
	"Relay 1",	// 12
	"Relay 2",	// 13
	"Relay 3",	// 14
	"Relay 4",	// 15
	"Door",	// 16
	"Door open",	// 17
	"Door closed",	// 18
	"Tag",	// 19
	"Tag read",	// 20
	"Unknown tag",	// 21
	"Board",	// 22
	"Board address",	// 23
	"Board not answering",	// 24
	"Board use",	// 25
	"Hold time",	// 26
	"Seconds",	// 27
	"Sec",	// 28
	"Window",	// 29
	"Position",	// 30
	"Logo",	// 31
	"Logo image",	// 32
	"Browser",	// 33
	"Owner",	// 34
	"Main page",	// 35
	"Owner page",	// 36
	"Error",	// 37
	"Warning",	// 38
	"Information",	// 39
	"File",	// 40
	"Edit",	// 41
	"View",	// 42
	"Tools",	// 43
	"Language",	// 44
	"English",	// 45
	"German",	// 46
	"Start",	// 47
	"Stop",	// 48
	"Restart",	// 49
	"Status",	// 50
	"Open all",	// 51
	"Close all",	// 52
	"Test pulse",	// 53
	"Test",	// 54
	"Address",	// 55
	"Port",	// 56
	"User",	// 57
	"Password",	// 58
	"Login",	// 59
	"Logout",	// 60
	"Name",	// 61
	"Number",	// 62
	"Time",	// 63
	"Date",	// 64
	"Today",	// 65
	"Yesterday",	// 66
	"Access",	// 67
	"Access granted",	// 68
	"Access denied",	// 69
	"Reader",	// 70
	"Reader connected",	// 71
	"Reader disconnected",	// 72
	"Connection",	// 73
	"Connected",	// 74
	"Disconnected",	// 75
	"Retry",	// 76
	"Timeout",	// 77
	"Network",	// 78
	"Local",	// 79
	"Remote",	// 80
	"Enabled",	// 81
	"Disabled",	// 82
	"On",	// 83
	"Off",	// 84
	"Input",	// 85
	"Output",	// 86
	"Level",	// 87
	"High",	// 88
	"Low",	// 89
	"Default",	// 90
	"Use RDX",	// 91
	"Tags use Relay:",	// 92
	"Relay open for: ",	// 93
	"Relay close after: ",	// 94
	"Relays",	// 95
	"Open relay",	// 96
	"Close relay",	// 97
	"Relay state",	// 98
	"open all relay",	// 99
	"Reset",	// 100
	"Apply",	// 101
	"Load",	// 102
	"Reload",	// 103
	"Export",	// 104
	"Import",	// 105
	"Print",	// 106
	"Copy",	// 107
	"Paste",	// 108
	"Delete",	// 109
	"Add",	// 110
	"Remove",	// 111
	"New",	// 112
	"Next",	// 113
	"Previous",	// 114
	"First",	// 115
	"Last",	// 116
	"Up",	// 117
	"Down",	// 118
	"Left",	// 119
	"Right",	// 120
	"Done",	// 121
	nullptr,	// 122
};

static_assert(sizeof(eLabel) / sizeof(eLabel[0]) == 123);


const char*
getLabel(int label)
{
	return be_locale->GetString(eLabel[label]);
}
