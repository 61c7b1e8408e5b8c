#include "LogFollower.h"

#include "ReadHistory.h"

#include <Message.h>

#include <vector>


LogFollower::LogFollower(const std::string& path, BMessenger target,
	uint32 what)
	:
	fReader(path),
	fTarget(target),
	fWhat(what)
{
}


LogFollower::~LogFollower()
{
	fReader.Stop();
	if (fThread.joinable())
		fThread.join();
}


status_t
LogFollower::Start(ReadHistory* history)
{
	std::vector<LogRecord> records;
	if (fReader.ReadAll(&records) != B_OK) {
		fError = fReader.Error();
		return B_ERROR;
	}
	for (const LogRecord& record : records)
		history->Add(record);
	fThread = std::thread(&LogFollower::_Follow, this);
	return B_OK;
}


void
LogFollower::_Follow()
{
	fReader.Follow([this](const LogRecord& record) {
		if (record.Event() != "read" && record.Event() != "door")
			return true;
		BMessage message(fWhat);
		message.AddString("line", record.Line().c_str());
		// A window that is gone takes nothing more; the follow goes on
		// until the follower is deleted.
		fTarget.SendMessage(&message);
		return true;
	});
}
