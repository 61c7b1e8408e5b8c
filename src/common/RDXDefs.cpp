#include "RDXDefs.h"

#include "DeskDefs.h"

#include <cerrno>
#include <cstdlib>

float WIN_X = 30.0f;
float WIN_Y = 50.0f;
float WIN_W = 400.0f;
float WIN_H = 125.0f;


bool
IsWindowCode(uint32 code)
{
	switch (code) {
		case RDX_MSG_TAG:
		case RDX_MSG_RELAY_1:
		case RDX_MSG_RELAY_2:
		case RDX_MSG_RELAY_3:
		case RDX_MSG_RELAY_4:
		case RDX_MSG_CLOSE:
		case RDX_MSG_ADDRESS:
		case RDX_MSG_NO_ANSWER:
		case RDX_MSG_OPEN_ALL:
		case RDX_MSG_STATUS:
		case RDX_MSG_USE:
		case RDX_MSG_HOLD_TIME:
		case RDX_MSG_RELOAD:
		case RDX_MSG_KEEP_OPEN:
		case RDX_MSG_KEEP_OPEN_END:
		case RDX_MSG_LOCKDOWN:
			return true;
	}
	return false;
}


bool
IsNoticeCode(uint32 code)
{
	switch (code) {
		case RDX_MSG_TAG:
		case RDX_MSG_STATUS:
		case RDX_MSG_CLOSE:
		case RDX_MSG_NO_ANSWER:
			return true;
	}
	return false;
}


std::string
FormatDeadline(bigtime_t deadline)
{
	return std::to_string((long long)deadline);
}


bool
ParseDeadline(const char* text, bigtime_t* deadline)
{
	if (text == nullptr || text[0] < '0' || text[0] > '9')
		return false;
	char* end = nullptr;
	errno = 0;
	long long value = strtoll(text, &end, 10);
	if (errno != 0 || end == text || *end != '\0')
		return false;
	*deadline = (bigtime_t)value;
	return true;
}
