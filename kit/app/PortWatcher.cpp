#include "PortWatcher.h"

#include "PortAddress.h"
#include "PortClient.h"
#include "PortConnection.h"

#include <AppDefs.h>
#include <Message.h>

#include <unistd.h>

namespace BPrivate {

PortWatcher::PortWatcher(const char* signature,
	const std::vector<uint32>& whats)
	:
	fSignature(signature != nullptr ? signature : ""),
	fWhats(whats)
{
}


PortWatcher::~PortWatcher()
{
	Stop();
}


status_t
PortWatcher::Start(bigtime_t timeout)
{
	Stop();
	std::string path;
	status_t status = PortAddress::PathFor(fSignature.c_str(), &path);
	if (status != B_OK)
		return status;

	BMessage request(B_START_WATCHING);
	for (uint32 what : fWhats)
		request.AddInt32(B_OBSERVE_WHAT_CHANGE, (int32)what);
	// The request is one frame like any message, answered once; what comes
	// after the answer are notice frames.
	PortClient client(path, -1);
	status = client.Send(request, timeout);
	if (status != B_OK)
		return status;
	int fd = client.Detach();
	if (fd < 0)
		return B_BAD_PORT_ID;
	fConnection = std::make_unique<PortConnection>(fd, system_time());
	return B_OK;
}


bool
PortWatcher::IsWatching() const
{
	return fConnection != nullptr && !fConnection->IsClosed();
}


int
PortWatcher::FD() const
{
	return IsWatching() ? fConnection->FD() : -1;
}


status_t
PortWatcher::ReadNotice(BMessage* notice, std::string* problem)
{
	if (!IsWatching())
		return B_BAD_PORT_ID;
	std::string why;
	switch (fConnection->Read(system_time(), &why)) {
		case PortConnection::kNothingYet:
			return B_WOULD_BLOCK;
		case PortConnection::kMessageReady:
			*notice = *fConnection->Message();
			fConnection->MessageDelivered();
			return B_OK;
		case PortConnection::kClosed:
			Stop();
			return B_BAD_PORT_ID;
		case PortConnection::kBroken:
			break;
	}
	if (problem != nullptr)
		*problem = why;
	Stop();
	return B_BAD_DATA;
}


void
PortWatcher::Stop()
{
	fConnection.reset();
}

}	// namespace BPrivate
