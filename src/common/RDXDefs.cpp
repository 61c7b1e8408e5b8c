#include "RDXDefs.h"

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
