#include "DoorLoop.h"

#include "EvdevSource.h"
#include "GpioSource.h"

#include <AccessLog.h>
#include <DeskDefs.h>
#include <DoorDefs.h>
#include <Locale.h>
#include <LockdownFile.h>
#include <Notification.h>
#include <PathWatcher.h>
#include <PortAddress.h>
#include <RDXDefs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// A press waits for rdx at most this long, as a tag read does: delivered
// later, it would open the door for nobody.
const bigtime_t kPostTimeout = 1000000;
// Watching rdx: the connect and the answer to the watch request.
const bigtime_t kWatchTimeout = 1000000;
// After rdx's socket appeared, tries this soon and then twice as long
// each time, until the next change of the socket (rdx binds a moment
// before it listens).
const bigtime_t kFirstRetry = 20 * 1000;
const bigtime_t kLastRetry = 2 * 1000000;
// rdx runs but refused the watch (too many watchers, another user).
const bigtime_t kRefusedRetry = 5 * 1000000;


DoorMonitor::Settings
monitor_settings(const DoorConfig& config)
{
	DoorMonitor::Settings settings;
	settings.heldOpen = config.heldOpen;
	settings.forcedGrace = config.forcedGrace;
	settings.relock = config.relock;
	return settings;
}


std::string
clock_time()
{
	time_t now = time(nullptr);
	struct tm local;
	localtime_r(&now, &local);
	char text[16];
	strftime(text, sizeof(text), "%H:%M:%S", &local);
	return text;
}

}	// namespace


DoorLoop::DoorLoop(const DoorConfig& config, FILE* output)
	:
	fConfig(config),
	fOutput(output),
	fMonitor(monitor_settings(config), *this),
	fRdxWatcher(RDX_SIGNATURE, {RDX_MSG_TAG, RDX_MSG_STATUS,
		RDX_NOTICE_SETTINGS}),
	// Keeps the address when rdx does not run yet: reached once it does.
	fRdx(RDX_SIGNATURE)
{
	fWakeFD = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
	BPrivate::PortAddress::PathFor(RDX_SIGNATURE, &fRdxPath);

	// One source per device: the inputs of one input device share it (one
	// grab), a GPIO line is a source of its own.
	for (size_t i = 0; i < fConfig.inputs.size(); i++) {
		const DoorInput& input = fConfig.inputs[i];
		if (input.kind == DoorInput::kGpio) {
			Slot slot;
			slot.source = std::make_unique<GpioSource>(i, input);
			fSlots.push_back(std::move(slot));
			continue;
		}
		if (input.kind == DoorInput::kMqtt)
			continue;
		// Two names of one device (its by-id and its by-path link) are
		// still one device: two sources would take each other's events,
		// and the second grab would fail.
		EvdevSource* shared = nullptr;
		std::string device = DoorInput::DeviceOf(input.path);
		for (Slot& slot : fSlots) {
			EvdevSource* source = dynamic_cast<EvdevSource*>(
				slot.source.get());
			if (source != nullptr
				&& DoorInput::DeviceOf(source->Path()) == device)
				shared = source;
		}
		if (shared == nullptr) {
			Slot slot;
			slot.source = std::make_unique<EvdevSource>(input.path);
			shared = static_cast<EvdevSource*>(slot.source.get());
			fSlots.push_back(std::move(slot));
		}
		shared->AddCode(i, input.type, input.code, input.debounce);
	}
}


DoorLoop::~DoorLoop()
{
	Stop();
	// The sources let go of their grabs before anything else goes.
	fSlots.clear();
	if (fWakeFD >= 0)
		close(fWakeFD);
}


void
DoorLoop::_Line(const std::string& text)
{
	fprintf(fOutput, "%s\n", text.c_str());
	fflush(fOutput);
}


bool
DoorLoop::Open()
{
	bigtime_t now = system_time();
	for (size_t i = 0; i < fConfig.inputs.size(); i++) {
		const DoorInput& input = fConfig.inputs[i];
		if (input.kind == DoorInput::kMqtt) {
			fBroker = std::make_unique<BrokerContact>(i, input.interval, now);
			_Line(translate_format("%s: waiting for its reports through"
				" rdx-mqtt (silent after %s)", input.Name().c_str(),
				DoorConfig::FormatDuration(input.interval).c_str()));
		}
	}
	for (Slot& slot : fSlots)
		_OpenSlot(slot);

	bool usable = fBroker != nullptr;
	for (const Slot& slot : fSlots)
		usable |= !slot.dropped;
	if (!usable) {
		fputs(B_TRANSLATE("rdx-door: none of the door's inputs can be"
			" used\n"), stderr);
		return false;
	}
	_WatchRdx(now);
	return true;
}


void
DoorLoop::_OpenSlot(Slot& slot)
{
	std::vector<InputChange> changes;
	std::string problem;
	const std::string& path = slot.source->Path();
	status_t status = slot.source->Open(&changes, &problem);
	if (status == B_OK) {
		_Line(translate_format("%s: %s", path.c_str(),
			B_TRANSLATE("reading")));
		_Changes(changes, system_time());
		return;
	}
	if (status == B_ENTRY_NOT_FOUND || status == B_PERMISSION_DENIED) {
		_Line(translate_format("%s: %s (%s); waiting for it", path.c_str(),
			status == B_ENTRY_NOT_FOUND ? B_TRANSLATE("not there")
				: B_TRANSLATE("cannot be opened yet"), problem.c_str()));
		_WaitFor(slot);
	} else {
		_Line(translate_format("%s: cannot be used: %s", path.c_str(),
			problem.c_str()));
		slot.dropped = true;
	}
	// What cannot be read is not closed: the door's state is unknown.
	std::vector<InputChange> lost;
	slot.source->Unreadable(problem, &lost);
	_Changes(lost, system_time());
	// It may have come before the watch was set.
	if (slot.watcher != nullptr)
		_TryAgain(slot);
}


void
DoorLoop::_WaitFor(Slot& slot)
{
	slot.watcher = std::make_unique<PathWatcher>(slot.source->Path());
	if (!slot.watcher->IsValid()) {
		_Line(translate_format("%s: cannot watch for it (%s): not used any"
			" more", slot.source->Path().c_str(), strerror(errno)));
		slot.watcher.reset();
		slot.dropped = true;
	}
}


void
DoorLoop::_TryAgain(Slot& slot)
{
	std::vector<InputChange> changes;
	std::string problem;
	status_t status = slot.source->Open(&changes, &problem);
	if (status == B_OK) {
		slot.watcher.reset();
		_Line(translate_format("%s: %s", slot.source->Path().c_str(),
			B_TRANSLATE("back, reading")));
		_Changes(changes, system_time());
		return;
	}
	// Not there yet, or not ours yet (udev sets the permissions a moment
	// after the node appears): the next change tells.
	if (status == B_ENTRY_NOT_FOUND || status == B_PERMISSION_DENIED)
		return;
	_Line(translate_format("%s: cannot be used: %s",
		slot.source->Path().c_str(), problem.c_str()));
	slot.watcher.reset();
	slot.dropped = true;
}


void
DoorLoop::_ReadSlot(Slot& slot, bigtime_t now)
{
	std::vector<InputChange> changes;
	status_t status = slot.source->Read(&changes, now);
	_Changes(changes, now);
	if (status == B_ENTRY_NOT_FOUND) {
		_Line(translate_format("%s: %s", slot.source->Path().c_str(),
			B_TRANSLATE("gone; waiting for it to come back")));
		_WaitFor(slot);
		// It may be back already.
		if (slot.watcher != nullptr)
			_TryAgain(slot);
	}
}


void
DoorLoop::_Changes(const std::vector<InputChange>& changes, bigtime_t now)
{
	for (const InputChange& change : changes) {
		const DoorInput& input = fConfig.inputs[change.input];
		if (input.role == DoorInput::kExit) {
			// A press is the change to down; found down is no press.
			if (change.level == 1 && !change.initial)
				_Exit(input, change.when != 0 ? change.when : now, now);
			else if (change.level < 0) {
				_Line(translate_format("%s: %s: %s", fConfig.door.c_str(),
					input.Name().c_str(), change.reason.c_str()));
			}
			continue;
		}
		DoorState state = DoorState::kUnknown;
		if (change.level >= 0) {
			state = (change.level == 1) == input.ActiveIsOpen()
				? DoorState::kOpen : DoorState::kClosed;
		}
		fMonitor.Contact(input.Name(), state, change.reason, now);
	}
}


void
DoorLoop::_Exit(const DoorInput& input, bigtime_t pressed, bigtime_t now)
{
	std::string name = input.Name();
	// The press counts for a second from when it was made, not from when
	// it is sent: presses that waited behind one rdx did not take (rdx
	// stopped), or from before a suspend, are as old as they are, and
	// open nothing for a person who has gone.
	bigtime_t deadline = pressed + kPostTimeout;
	bigtime_t left = deadline - system_time();
	if (left <= 0) {
		fMonitor.ExitPressed(name, "too-late", now, -left / 1000.0);
		return;
	}
	// During lockdown the press is refused here with its word, as rdx
	// would refuse it; rdx never sees it.
	if (LockdownFile().Read().on) {
		fMonitor.ExitPressed(name, RDX_OUTCOME_LOCKDOWN, now);
		return;
	}
	BMessage request(RDX_MSG_EXIT);
	request.AddString(RDX_FIELD_READER, name.c_str());
	request.AddString(RDX_FIELD_DEADLINE, FormatDeadline(deadline).c_str());
	status_t status = fRdx.SendMessage(&request, nullptr, left);
	const char* result = status == B_OK ? "passed-on"
		: status == B_BAD_PORT_ID ? "no-rdx" : "not-delivered";
	fMonitor.ExitPressed(name, result, now);
}


void
DoorLoop::RelockWanted(const std::string& input)
{
	BMessage request(RDX_MSG_RELOCK);
	request.AddString(RDX_FIELD_READER, input.c_str());
	request.AddString(RDX_FIELD_DEADLINE,
		FormatDeadline(system_time() + kPostTimeout).c_str());
	status_t status = fRdx.SendMessage(&request, nullptr, kPostTimeout);
	_Line(status == B_OK
		? translate_format("%s: closed again: rdx is asked to close the"
			" relay now", fConfig.door.c_str())
		: translate_format("%s: closed again, but rdx cannot be asked to"
			" close the relay now (%s); its hold time closes it",
			fConfig.door.c_str(), status_text(status)));
}


BMessage
DoorLoop::_Notice(const DoorEvent& event) const
{
	BMessage notice(RDX_NOTICE_DOOR);
	notice.AddString(RDX_FIELD_DOOR, fConfig.door.c_str());
	notice.AddString(RDX_FIELD_EVENT, event.what.c_str());
	notice.AddString(RDX_FIELD_STATE, door_state_name(event.state));
	notice.AddString(RDX_FIELD_INPUT, event.input.c_str());
	notice.AddString(RDX_FIELD_ALARMS,
		DoorMonitor::AlarmNames(event.alarms).c_str());
	notice.AddString(RDX_FIELD_RELAY_STATE, event.relay.c_str());
	if (!event.reason.empty())
		notice.AddString(RDX_FIELD_REASON, event.reason.c_str());
	if (!event.result.empty())
		notice.AddString(RDX_FIELD_RESULT, event.result.c_str());
	return notice;
}


void
DoorLoop::DoorEventHappened(const DoorEvent& event)
{
	// The watchers first: rdx-mqtt tells the broker at once.
	if (fNoticeSink)
		fNoticeSink(_Notice(event));

	std::string line = fConfig.door + ": " + event.what;
	if (!event.input.empty())
		line += " (" + event.input + ")";
	if (!event.reason.empty())
		line += ": " + event.reason;
	if (!event.result.empty())
		line += ": " + event.result;
	_Line(line);

	if (fLog != nullptr) {
		DoorRecord record;
		record.door = fConfig.door;
		record.what = event.what;
		record.input = event.input;
		record.state = door_state_name(event.state);
		record.alarms = DoorMonitor::AlarmNames(event.alarms);
		record.reason = event.reason;
		record.result = event.result;
		record.lateMs = event.lateMs;
		fLog->Door(record);
	}
	_Notify(event);
}


void
DoorLoop::_Notify(const DoorEvent& event)
{
	std::string door = fConfig.door;
	std::string title;
	std::string content;
	if (event.what == RDX_DOOR_FORCED) {
		title = translate_format("%s: forced open", door.c_str());
		content = translate_format("The door %s was opened at %s while it was"
			" locked, and no tag, button or remote open let anyone in.",
			door.c_str(), clock_time().c_str());
	} else if (event.what == RDX_DOOR_HELD_OPEN) {
		title = translate_format("%s: held open", door.c_str());
		content = translate_format("The door %s has stood open for %s since"
			" its relay closed again (at %s).", door.c_str(),
			DoorConfig::FormatDuration(fConfig.heldOpen).c_str(),
			clock_time().c_str());
	} else if (event.what == RDX_DOOR_SENSOR_LOST) {
		title = translate_format("%s: door sensor lost", door.c_str());
		content = translate_format("The contact of the door %s cannot be read"
			" any more (%s: %s). Whether the door is open is unknown until it"
			" reports again.", door.c_str(), event.input.c_str(),
			event.reason.c_str());
	} else
		return;

	BNotification notification(B_IMPORTANT_NOTIFICATION);
	notification.SetGroup(B_TRANSLATE("RDX door"));
	notification.SetTitle(title.c_str());
	notification.SetContent(content.c_str());
	// A later alarm of the same kind replaces the earlier one on the desk.
	notification.SetMessageID(("rdx-door-" + door + "-" + event.what).c_str());
	// Queued for a thread of its own: the door never waits for the desk.
	notification.Send();
}


void
DoorLoop::Post(const BMessage& message)
{
	{
		std::lock_guard<std::mutex> lock(fInboxLock);
		fInbox.push_back(message);
	}
	uint64_t one = 1;
	ssize_t written = write(fWakeFD, &one, sizeof(one));
	(void)written;
}


void
DoorLoop::_Message(const BMessage& message, bigtime_t now)
{
	if (message.what == RDX_MSG_DOOR_SENSOR) {
		_SensorReport(message, now);
		return;
	}
	if (message.what == B_START_WATCHING) {
		// Someone started watching: it hears how things stand now.
		if (fNoticeSink)
			fNoticeSink(_Notice(fMonitor.Snapshot()));
	}
}


void
DoorLoop::_SensorReport(const BMessage& message, bigtime_t now)
{
	const char* name = nullptr;
	const char* text = nullptr;
	const char* reason = nullptr;
	message.FindString(RDX_FIELD_INPUT, &name);
	message.FindString(RDX_FIELD_STATE, &text);
	message.FindString(RDX_FIELD_REASON, &reason);
	if (fBroker == nullptr || name == nullptr
		|| fConfig.inputs[fBroker->Input()].Name() != name) {
		_Line(translate_format("%s: a sensor report for %s, which door.conf"
			" does not name: ignored", fConfig.door.c_str(),
			name != nullptr ? name : "(no input)"));
		return;
	}
	DoorState state;
	if (text == nullptr || !parse_door_state(text, &state)) {
		_Line(translate_format("%s: a sensor report of %s that is neither"
			" open, closed nor unknown: ignored", fConfig.door.c_str(), name));
		return;
	}
	fBroker->Report(now);
	fMonitor.Contact(name, state, state == DoorState::kUnknown
		? std::string(reason != nullptr ? reason : B_TRANSLATE("unknown"))
		: std::string(), now);
}


void
DoorLoop::_WatchRdx(bigtime_t now)
{
	// The socket is watched before it is tried, so that an rdx that comes
	// in between is heard of.
	if (fRdxPathWatcher == nullptr && !fRdxPath.empty())
		fRdxPathWatcher = std::make_unique<PathWatcher>(fRdxPath);
	status_t status = fRdxWatcher.Start(kWatchTimeout);
	if (status == B_OK) {
		_Line(B_TRANSLATE("rdx-door: watching rdx"));
		fRdxPathWatcher.reset();
		fRdxRetryAt = 0;
		fRdxRetryDelay = 0;
		fRdxWaitSaid = false;
		return;
	}
	if (status != B_BAD_PORT_ID)
		fRdxRetryAt = now + kRefusedRetry;
	else if (fRdxRetryDelay != 0 && fRdxRetryDelay <= kLastRetry) {
		fRdxRetryAt = now + fRdxRetryDelay;
		fRdxRetryDelay *= 2;
	} else {
		// Until the socket changes again.
		fRdxRetryDelay = 0;
	}
	if (fRdxWaitSaid)
		return;
	fRdxWaitSaid = true;
	_Line(status == B_BAD_PORT_ID
		? B_TRANSLATE("rdx-door: rdx does not run; waiting for it")
		: translate_format("rdx-door: cannot watch rdx: %s; trying again",
			status_text(status)));
}


void
DoorLoop::_RdxNotices(bigtime_t now)
{
	for (;;) {
		BMessage notice;
		std::string problem;
		status_t status = fRdxWatcher.ReadNotice(&notice, &problem);
		if (status == B_WOULD_BLOCK)
			return;
		if (status == B_OK) {
			_RdxNotice(notice, now);
			continue;
		}
		if (status == B_BAD_DATA) {
			_Line(translate_format("rdx-door: rdx sent what is no notice: %s",
				problem.c_str()));
		}
		// Gone or restarting: the relay is unknown now, never closed.
		_Line(B_TRANSLATE("rdx-door: rdx went away; waiting for it to come"
			" back"));
		fRdxWaitSaid = true;
		fMonitor.RdxGone(now);
		_WatchRdx(now);
		return;
	}
}


void
DoorLoop::_RdxNotice(const BMessage& notice, bigtime_t now)
{
	int32 code = 0;
	if (notice.FindInt32(B_OBSERVE_WHAT_CHANGE, &code) != B_OK)
		return;
	switch ((uint32)code) {
		case RDX_MSG_TAG:
			// A read rdx refused (lockdown) let nobody in: a door that
			// opens then is forced.
			if (!notice.HasString(RDX_FIELD_READ_RESULT))
				fMonitor.RdxTag(now);
			return;
		case RDX_MSG_STATUS:
		{
			int32 relay = 0;
			if (notice.FindInt32(RDX_FIELD_RELAIS, &relay) != B_OK)
				return;
			fMonitor.RdxRelay(relay, notice.HasInt32(RDX_FIELD_OPEN), now);
			return;
		}
		case RDX_NOTICE_SETTINGS:
		{
			bool use = false;
			int32 relay = 0;
			const char* image = "";
			notice.FindBool(RDX_FIELD_USE, &use);
			notice.FindInt32(RDX_FIELD_RELAIS, &relay);
			notice.FindString(RDX_FIELD_IMAGE, &image);
			fMonitor.RdxSettings(use, relay, image, now);
			return;
		}
	}
}


bigtime_t
DoorLoop::_NextDeadline() const
{
	bigtime_t next = fMonitor.NextDeadline();
	for (const Slot& slot : fSlots) {
		if (slot.source->IsOpen())
			next = std::min(next, slot.source->NextDeadline());
	}
	if (fBroker != nullptr)
		next = std::min(next, fBroker->NextDeadline());
	if (fRdxRetryAt != 0)
		next = std::min(next, fRdxRetryAt);
	return next;
}


void
DoorLoop::_Pulse(bigtime_t now)
{
	for (Slot& slot : fSlots) {
		if (!slot.source->IsOpen())
			continue;
		std::vector<InputChange> changes;
		slot.source->Pulse(now, &changes);
		_Changes(changes, now);
	}
	if (fBroker != nullptr && fBroker->Pulse(now)) {
		const DoorInput& input = fConfig.inputs[fBroker->Input()];
		fMonitor.Contact(input.Name(), DoorState::kUnknown,
			translate_format("silent for %s",
				DoorConfig::FormatDuration(input.interval).c_str()), now);
	}
	if (fRdxRetryAt != 0 && now >= fRdxRetryAt && !fRdxWatcher.IsWatching()) {
		fRdxRetryAt = 0;
		_WatchRdx(now);
	}
	fMonitor.Pulse(now);
}


void
DoorLoop::Start()
{
	fThread = std::thread([this] {
		pthread_setname_np(pthread_self(), "door");
		_Run();
	});
}


void
DoorLoop::Stop()
{
	if (!fThread.joinable())
		return;
	{
		std::lock_guard<std::mutex> lock(fInboxLock);
		fStopping = true;
	}
	uint64_t one = 1;
	ssize_t written = write(fWakeFD, &one, sizeof(one));
	(void)written;
	fThread.join();
}


void
DoorLoop::_Run()
{
	std::vector<struct pollfd> entries;
	// What each entry stands for: -1 the wake-up, -2 rdx's notices, -3
	// rdx's socket appearing, else the slot's index.
	std::vector<int> owners;
	for (;;) {
		entries.clear();
		owners.clear();
		entries.push_back({fWakeFD, POLLIN, 0});
		owners.push_back(-1);
		if (fRdxWatcher.IsWatching()) {
			entries.push_back({fRdxWatcher.FD(), POLLIN, 0});
			owners.push_back(-2);
		} else if (fRdxPathWatcher != nullptr
			&& fRdxPathWatcher->IsValid()) {
			entries.push_back({fRdxPathWatcher->FD(), POLLIN, 0});
			owners.push_back(-3);
		}
		for (size_t i = 0; i < fSlots.size(); i++) {
			Slot& slot = fSlots[i];
			int fd = slot.source->IsOpen() ? slot.source->FD()
				: slot.watcher != nullptr ? slot.watcher->FD() : -1;
			if (fd < 0)
				continue;
			entries.push_back({fd, POLLIN, 0});
			owners.push_back((int)i);
		}

		bigtime_t now = system_time();
		bigtime_t deadline = _NextDeadline();
		int timeout = -1;
		if (deadline != B_INFINITE_TIMEOUT) {
			// Rounded up: woken a little late rather than a little early,
			// which would only mean a second wake-up.
			timeout = (int)std::min<bigtime_t>(3600 * 1000,
				std::max<bigtime_t>(0, (deadline - now + 999) / 1000));
		}
		int ready = poll(entries.data(), entries.size(), timeout);
		if (ready < 0 && errno != EINTR) {
			fprintf(stderr, "rdx-door: %s: %s\n",
				B_TRANSLATE("waiting failed"), strerror(errno));
			return;
		}
		now = system_time();
		for (size_t e = 0; ready > 0 && e < entries.size(); e++) {
			if (entries[e].revents == 0)
				continue;
			int owner = owners[e];
			if (owner == -1) {
				uint64_t count;
				ssize_t got = read(fWakeFD, &count, sizeof(count));
				(void)got;
				std::deque<BMessage> inbox;
				{
					std::lock_guard<std::mutex> lock(fInboxLock);
					if (fStopping)
						return;
					inbox.swap(fInbox);
				}
				for (const BMessage& message : inbox)
					_Message(message, now);
				continue;
			}
			if (owner == -2) {
				_RdxNotices(now);
				continue;
			}
			if (owner == -3) {
				if (fRdxPathWatcher->Read() && !fRdxWatcher.IsWatching()) {
					fRdxRetryDelay = kFirstRetry;
					fRdxRetryAt = now;
				}
				continue;
			}
			Slot& slot = fSlots[(size_t)owner];
			if (slot.source->IsOpen())
				_ReadSlot(slot, now);
			else if (slot.watcher != nullptr && slot.watcher->Read())
				_TryAgain(slot);
		}
		_Pulse(system_time());
	}
}
