#include "BoardState.h"


bool
BoardState::ParseSwitch(const std::string& output, const std::string& level,
	int* outputIndex, int* levelValue)
{
	if (output.size() != 1 || output[0] < '0' + kFirstOutput
		|| output[0] > '0' + kLastOutput) {
		return false;
	}
	if (level != "0" && level != "1")
		return false;
	*outputIndex = output[0] - '0';
	*levelValue = level[0] - '0';
	return true;
}


void
BoardState::Set(int output, int level)
{
	if (output < kFirstOutput || output > kLastOutput)
		return;
	std::lock_guard<std::mutex> guard(fLock);
	fLevels[output - kFirstOutput] = level;
}


int
BoardState::Level(int output) const
{
	if (output < kFirstOutput || output > kLastOutput)
		return -1;
	std::lock_guard<std::mutex> guard(fLock);
	return fLevels[output - kFirstOutput];
}


std::string
BoardState::MainPage() const
{
	std::string page =
		"<!DOCTYPE html>\n"
		"<html><head><meta charset=\"utf-8\">"
		"<title>Tessaron relay board</title></head>\n"
		"<body>\n<h1>Tessaron relay board</h1>\n"
		"<table>\n<tr><th>Relay</th><th>Output</th><th>State</th></tr>\n";
	for (int output = kFirstOutput; output <= kLastOutput; output++) {
		std::string relay = std::to_string(output - 2);
		std::string index = std::to_string(output);
		page += "<tr><td>" + relay + "</td><td>" + index
			+ "</td><td id=\"out" + index + "\">"
			+ (Level(output) == 0 ? "open" : "closed") + "</td></tr>\n";
	}
	page += "</table>\n<p><a href=\"/owner.htm\">Owner</a></p>\n"
		"</body></html>\n";
	return page;
}


std::string
BoardState::OwnerPage() const
{
	return
		"<!DOCTYPE html>\n"
		"<html><head><meta charset=\"utf-8\">"
		"<title>Tessaron relay board: owner</title></head>\n"
		"<body>\n<h1>Owner</h1>\n"
		"<p>This board is simulated by rdx-board-sim.</p>\n"
		"<p><a href=\"/\">Relays</a></p>\n"
		"</body></html>\n";
}
