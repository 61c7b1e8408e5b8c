#include "PcscSource.h"

#include "CardAnswer.h"

#include <Locale.h>

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// While pcscd is not there, looking for it again this often is the only
// way: pcsc-lite has nothing to wait on for a daemon that does not run.
const auto kRetry = std::chrono::seconds(3);

const char* kPnP = "\\\\?PnP?\\Notification";


std::string
pcsc_text(LONG result)
{
	return pcsc_stringify_error(result);
}


bool
daemon_gone(LONG result)
{
	return result == SCARD_E_NO_SERVICE || result == SCARD_E_SERVICE_STOPPED
		|| result == SCARD_F_COMM_ERROR || result == SCARD_E_INVALID_HANDLE;
}


// The reader names of a multi-string.
std::vector<std::string>
split_names(const char* names, DWORD length)
{
	std::vector<std::string> list;
	for (const char* name = names; name < names + length && *name != '\0';
			name += strlen(name) + 1)
		list.push_back(name);
	return list;
}


LONG
list_readers(SCARDCONTEXT context, std::vector<std::string>* names)
{
	names->clear();
	DWORD length = 0;
	LONG result = SCardListReaders(context, nullptr, nullptr, &length);
	if (result == SCARD_E_NO_READERS_AVAILABLE)
		return SCARD_S_SUCCESS;
	if (result != SCARD_S_SUCCESS)
		return result;
	std::string buffer(length, '\0');
	result = SCardListReaders(context, nullptr, buffer.data(), &length);
	if (result == SCARD_E_NO_READERS_AVAILABLE)
		return SCARD_S_SUCCESS;
	if (result != SCARD_S_SUCCESS)
		return result;
	*names = split_names(buffer.data(), length);
	return SCARD_S_SUCCESS;
}

}	// namespace


PcscSource::PcscSource(const std::string& nameFilter)
	:
	TagSource(nameFilter.empty() ? "pcsc" : "pcsc(" + nameFilter + ")"),
	fFilter(nameFilter)
{
}


PcscSource::~PcscSource()
{
	Close();
}


std::string
PcscSource::Label(const std::string& readerName)
{
	return "pcsc:" + readerName;
}


bool
PcscSource::ListReaders(std::vector<std::string>* names, std::string* problem)
{
	SCARDCONTEXT context;
	LONG result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr,
		&context);
	if (result != SCARD_S_SUCCESS) {
		*problem = pcsc_text(result);
		return false;
	}
	result = list_readers(context, names);
	SCardReleaseContext(context);
	if (result != SCARD_S_SUCCESS) {
		*problem = pcsc_text(result);
		return false;
	}
	return true;
}


status_t
PcscSource::Open(std::string* problem)
{
	Close();
	fEventFD = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
	if (fEventFD < 0) {
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	fStop = false;
	fDone = false;
	fThread = std::thread([this] {
		_Run();
		std::lock_guard<std::mutex> guard(fLock);
		fDone = true;
		fWake.notify_all();
	});
	return B_OK;
}


void
PcscSource::Close()
{
	if (fThread.joinable()) {
		std::unique_lock<std::mutex> guard(fLock);
		fStop = true;
		// SCardCancel ends a wait that has begun, not one about to begin:
		// cancel again until the thread is out.
		while (!fDone) {
			if (fHasContext)
				SCardCancel((SCARDCONTEXT)fContext);
			fWake.notify_all();
			fWake.wait_for(guard, std::chrono::milliseconds(100));
		}
		guard.unlock();
		fThread.join();
	}
	if (fEventFD >= 0) {
		close(fEventFD);
		fEventFD = -1;
	}
	fPending.clear();
}


status_t
PcscSource::Read(std::vector<SourceEvent>* events)
{
	uint64_t count;
	while (read(fEventFD, &count, sizeof(count)) < 0 && errno == EINTR) {
	}
	std::vector<SourceEvent> pending;
	{
		std::lock_guard<std::mutex> guard(fLock);
		pending.swap(fPending);
	}
	events->insert(events->end(), pending.begin(), pending.end());
	return B_OK;
}


void
PcscSource::_Push(const SourceEvent& event)
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		fPending.push_back(event);
	}
	uint64_t one = 1;
	while (write(fEventFD, &one, sizeof(one)) < 0 && errno == EINTR) {
	}
}


bool
PcscSource::_Stopping()
{
	std::lock_guard<std::mutex> guard(fLock);
	return fStop;
}


void
PcscSource::_Run()
{
	bool absentSaid = false;
	bool everServed = false;
	for (;;) {
		SCARDCONTEXT context;
		LONG result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr,
			nullptr, &context);
		if (result != SCARD_S_SUCCESS) {
			if (!absentSaid) {
				_Push(SourceEvent::Problem(translate_format("pcscd cannot be"
					" reached (%s); looking for it again every %d s",
					pcsc_text(result).c_str(), (int)kRetry.count())));
				absentSaid = true;
			}
			std::unique_lock<std::mutex> guard(fLock);
			if (fWake.wait_for(guard, kRetry, [this] { return fStop; }))
				return;
			continue;
		}
		{
			std::lock_guard<std::mutex> guard(fLock);
			if (fStop) {
				SCardReleaseContext(context);
				return;
			}
			fContext = (long)context;
			fHasContext = true;
		}
		if (absentSaid || everServed)
			_Push(SourceEvent::Problem(B_TRANSLATE("pcscd is there:"
				" reading")));
		absentSaid = false;
		everServed = true;

		_Serve((long)context);

		{
			std::lock_guard<std::mutex> guard(fLock);
			fHasContext = false;
			fContext = 0;
		}
		SCardReleaseContext(context);
		if (_Stopping())
			return;
		_Push(SourceEvent::Problem(B_TRANSLATE("pcscd stopped; waiting for"
			" it to come back")));
		absentSaid = true;
		std::unique_lock<std::mutex> guard(fLock);
		if (fWake.wait_for(guard, kRetry, [this] { return fStop; }))
			return;
	}
}


void
PcscSource::_Serve(long contextValue)
{
	SCARDCONTEXT context = (SCARDCONTEXT)contextValue;
	std::vector<std::string> names;
	std::vector<SCARD_READERSTATE> states;
	// The readers taken, with their last known state; the PnP entry last.
	std::vector<std::string> taken;
	std::vector<DWORD> known;
	DWORD pnpState = SCARD_STATE_UNAWARE;
	bool refresh = true;

	for (;;) {
		if (refresh) {
			refresh = false;
			LONG result = list_readers(context, &names);
			if (result != SCARD_S_SUCCESS) {
				if (!daemon_gone(result)) {
					_Push(SourceEvent::Problem(translate_format("cannot list"
						" the readers: %s", pcsc_text(result).c_str())));
				}
				return;
			}
			std::vector<std::string> nextTaken;
			std::vector<DWORD> nextKnown;
			for (const std::string& name : names) {
				if (!fFilter.empty()
					&& name.find(fFilter) == std::string::npos)
					continue;
				auto found = std::find(taken.begin(), taken.end(), name);
				if (found == taken.end()) {
					_Push(SourceEvent::Problem(translate_format("reader"
						" \"%s\" taken", name.c_str()), Label(name)));
					nextKnown.push_back(SCARD_STATE_UNAWARE);
				} else
					nextKnown.push_back(known[found - taken.begin()]);
				nextTaken.push_back(name);
			}
			for (const std::string& name : taken) {
				if (std::find(nextTaken.begin(), nextTaken.end(), name)
						== nextTaken.end()) {
					_Push(SourceEvent::Problem(B_TRANSLATE("reader gone"),
						Label(name)));
				}
			}
			taken.swap(nextTaken);
			known.swap(nextKnown);
		}

		states.assign(taken.size() + 1, SCARD_READERSTATE{});
		for (size_t i = 0; i < taken.size(); i++) {
			states[i].szReader = taken[i].c_str();
			states[i].dwCurrentState = known[i];
		}
		states.back().szReader = kPnP;
		states.back().dwCurrentState = pnpState;

		LONG result = SCardGetStatusChange(context, INFINITE, states.data(),
			(DWORD)states.size());
		if (result == SCARD_E_CANCELLED || _Stopping())
			return;
		if (result == SCARD_E_TIMEOUT)
			continue;
		if (result == SCARD_E_UNKNOWN_READER) {
			refresh = true;
			continue;
		}
		if (result != SCARD_S_SUCCESS) {
			if (!daemon_gone(result)) {
				_Push(SourceEvent::Problem("waiting for cards failed: "
					+ pcsc_text(result)));
			}
			return;
		}

		const SCARD_READERSTATE& pnp = states.back();
		if ((pnp.dwEventState & SCARD_STATE_CHANGED) != 0) {
			// pcsc-lite keeps the count of readers in the upper half: given
			// back, the next wait ends only when the count changes.
			refresh = true;
			pnpState = pnp.dwEventState & ~SCARD_STATE_CHANGED;
		}
		for (size_t i = 0; i < taken.size(); i++) {
			DWORD event = states[i].dwEventState;
			if ((event & SCARD_STATE_CHANGED) == 0)
				continue;
			DWORD before = known[i];
			known[i] = event & ~SCARD_STATE_CHANGED;
			if ((event & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE)) != 0) {
				refresh = true;
				continue;
			}
			// Into the field just now: a card that stays counts once.
			bool present = (event & SCARD_STATE_PRESENT) != 0
				&& (event & SCARD_STATE_MUTE) == 0;
			bool wasPresent = (before & SCARD_STATE_PRESENT) != 0
				&& (before & SCARD_STATE_MUTE) == 0;
			if (present && !wasPresent)
				_ReadCard(contextValue, taken[i]);
		}
	}
}


void
PcscSource::_ReadCard(long contextValue, const std::string& name)
{
	SCARDCONTEXT context = (SCARDCONTEXT)contextValue;
	SCARDHANDLE card;
	DWORD protocol = 0;
	LONG result = SCardConnect(context, name.c_str(), SCARD_SHARE_SHARED,
		SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
	if (result != SCARD_S_SUCCESS) {
		_Push(SourceEvent::Problem("cannot reach the card: "
			+ pcsc_text(result), Label(name)));
		return;
	}
	static const BYTE kGetData[] = {0xFF, 0xCA, 0x00, 0x00, 0x00};
	BYTE answer[258];
	DWORD length = sizeof(answer);
	const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T0
		? SCARD_PCI_T0 : SCARD_PCI_T1;
	result = SCardTransmit(card, pci, kGetData, sizeof(kGetData), nullptr,
		answer, &length);
	if (result != SCARD_S_SUCCESS) {
		_Push(SourceEvent::Problem("the card did not answer GET DATA: "
			+ pcsc_text(result), Label(name)));
	} else
		_Push(CardAnswer::Decode(answer, length, Label(name)));
	// Released at once, the tag handed on first: the round trip to pcscd
	// need not stand between the card and the door.
	SCardDisconnect(card, SCARD_LEAVE_CARD);
}
