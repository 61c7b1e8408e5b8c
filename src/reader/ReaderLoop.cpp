#include "ReaderLoop.h"

#include "KeyboardSource.h"
#include "LineDecoder.h"
#include "PcscSource.h"
#include "Rdm6300Decoder.h"
#include "SerialSource.h"
#include "TagCheck.h"

#include <Errors.h>
#include <Locale.h>
#include <PinHash.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

Dispatcher::Mode
mode_of(const ReaderOptions& options)
{
	if (options.learn)
		return Dispatcher::kLearn;
	return options.anyTag ? Dispatcher::kAnyTag : Dispatcher::kListed;
}

}	// namespace


ReaderLoop::ReaderLoop(const ReaderOptions& options, FILE* output)
	:
	fOptions(options),
	fOutput(output),
	fTags(options.tags.empty() ? TagList::DefaultPath() : options.tags),
	fRepeats((bigtime_t)options.repeatMs * 1000),
	fPoster(options.signature),
	fDispatcher(fTags, fRepeats, fPoster, mode_of(options), output),
	fPinLocks(PinLocks::DefaultPath(), options.pinTries,
		options.pinLockSeconds)
{
	fDispatcher.SetPins(&fPinLocks, (bigtime_t)options.pinWaitSeconds
		* 1000000);
	for (const std::string& path : options.keyboards) {
		Slot slot;
		slot.source = std::make_unique<KeyboardSource>(path,
			options.keyGapMs);
		fSlots.push_back(std::move(slot));
	}
	for (const ReaderOptions::Serial& serial : options.serials) {
		std::unique_ptr<SerialDecoder> decoder;
		if (serial.protocol == ReaderOptions::kLines)
			decoder = std::make_unique<LineDecoder>();
		else
			decoder = std::make_unique<Rdm6300Decoder>(options.emHex);
		Slot slot;
		slot.source = std::make_unique<SerialSource>(serial.path, serial.baud,
			std::move(decoder));
		fSlots.push_back(std::move(slot));
	}
	if (options.pcsc) {
		Slot slot;
		slot.source = std::make_unique<PcscSource>(options.pcscName);
		fSlots.push_back(std::move(slot));
	}
	// Learning happens at the desk already: nothing to tell it then.
	if (options.notify && !options.learn) {
		fAnnouncer = std::make_unique<CardAnnouncer>(
			(bigtime_t)options.repeatMs * 1000, output);
		fDispatcher.SetAnnouncer(fAnnouncer.get());
	}
}


ReaderLoop::~ReaderLoop()
{
	// The sources let go of their grabs before anything else goes.
	fSlots.clear();
	if (fSignalFD >= 0)
		close(fSignalFD);
}


void
ReaderLoop::_ReadLockdown(bool atStart)
{
	LockdownFile::State state = fLockdown.Read();
	bool was = fDispatcher.InLockdown();
	fDispatcher.SetLockdown(state.on);
	if (!state.problem.empty() && state.problem != fLockdownProblem)
		fprintf(fOutput, "rdx-reader: %s\n", state.problem.c_str());
	fLockdownProblem = state.problem;
	if (state.on && (atStart || !was)) {
		fprintf(fOutput, "%s", B_TRANSLATE("rdx-reader: the door is in"
			" lockdown: no read is passed on until it is lifted\n"));
	} else if (!state.on && was) {
		fprintf(fOutput, "%s", B_TRANSLATE("rdx-reader: lockdown lifted:"
			" reads are passed on again\n"));
	}
	fflush(fOutput);
}


void
ReaderLoop::_Line(const std::string& source, const std::string& text)
{
	fprintf(fOutput, "%s: %s\n", source.c_str(), text.c_str());
	fflush(fOutput);
}


bool
ReaderLoop::_Start()
{
	sigset_t signals;
	sigemptyset(&signals);
	sigaddset(&signals, SIGTERM);
	sigaddset(&signals, SIGINT);
	sigprocmask(SIG_BLOCK, &signals, nullptr);
	fSignalFD = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
	if (fSignalFD < 0) {
		fprintf(stderr, B_TRANSLATE("rdx-reader: cannot wait for signals:"
			" %s\n"),
			strerror(errno));
		return false;
	}
	// A connection that rdx closed must not end this program.
	signal(SIGPIPE, SIG_IGN);

	// Read again only once its writer has finished: a list caught
	// half-written might let in a tag whose rules were not written yet.
	// Watched before it is first read, so that a writer who finishes in
	// between is not missed.
	fTagWatcher = std::make_unique<PathWatcher>(fTags.Path(),
		PathWatcher::kFinishedWrites);
	if (!fTagWatcher->IsValid()) {
		fprintf(fOutput, B_TRANSLATE("rdx-reader: cannot watch %s for"
			" changes (%s): it is read at start only\n"), fTags.Path().c_str(),
			strerror(errno));
	}
	_LoadTags(true);
	// The same for lockdown, which rdx writes by renaming a new file into
	// place: watched before it is read, never polled.
	fLockdownWatcher = std::make_unique<PathWatcher>(fLockdown.Path(),
		PathWatcher::kFinishedWrites);
	if (!fLockdownWatcher->IsValid()) {
		fprintf(fOutput, B_TRANSLATE("rdx-reader: cannot watch %s for"
			" changes (%s): it is read at start only\n"),
			fLockdown.Path().c_str(), strerror(errno));
	}
	_ReadLockdown(true);
	// Locks from before a restart still hold.
	std::vector<std::string> problems;
	fPinLocks.Load(&problems);
	for (const std::string& problem : problems)
		_Line("rdx-reader", problem);

	// A reader that is not there yet, or not ours yet, is waited for as one
	// that goes away later is: only a path that can never be a reader ends
	// the program.
	int kept = 0;
	for (Slot& slot : fSlots) {
		std::string problem;
		status_t status = slot.source->Open(&problem);
		if (status == B_OK) {
			kept++;
			_Line(slot.source->Path(), B_TRANSLATE("reading"));
			continue;
		}
		if (status == B_ENTRY_NOT_FOUND || status == B_PERMISSION_DENIED) {
			std::string hint;
			if (status == B_PERMISSION_DENIED)
				hint = B_TRANSLATE(" (a udev rule gives the seated user"
					" access: see the README)");
			_Line(slot.source->Path(), status == B_ENTRY_NOT_FOUND
				? translate_format("not there (%s)%s; waiting for it",
					problem.c_str(), hint.c_str())
				: translate_format("cannot be opened yet (%s)%s; waiting for"
					" it", problem.c_str(), hint.c_str()));
			_Wait(slot);
			if (!slot.dropped)
				kept++;
			continue;
		}
		_Line(slot.source->Path(), translate_format("cannot be used: %s",
			problem.c_str()));
		slot.dropped = true;
	}
	if (kept == 0) {
		fputs(B_TRANSLATE("rdx-reader: none of the named readers could be"
			" opened\n"), stderr);
		return false;
	}
	return true;
}


void
ReaderLoop::_LoadTags(bool atStart)
{
	std::string problem;
	status_t status = fTags.Load(&problem);
	const std::string& path = fTags.Path();
	if (status == B_NOT_ALLOWED) {
		fprintf(fOutput, B_TRANSLATE("rdx-reader: refusing the tag list:"
			" %s\n"), TagList::Printable(problem).c_str());
		fflush(fOutput);
		return;
	}
	if (status == B_WOULD_BLOCK) {
		fprintf(fOutput, atStart
			? B_TRANSLATE("rdx-reader: %s: no tag passes until it is"
				" saved\n")
			: B_TRANSLATE("rdx-reader: %s: the list read before stays in"
				" force until it is saved\n"),
			TagList::Printable(problem).c_str());
		fflush(fOutput);
		return;
	}
	if (status != B_OK) {
		fprintf(fOutput, B_TRANSLATE("rdx-reader: cannot read the tag list"
			" %s (%s): no tag is taken as listed\n"), path.c_str(),
			problem.c_str());
		fflush(fOutput);
		return;
	}
	TagCheck::PrintProblems(fOutput, fTags);
	if (fOptions.anyTag) {
		if (atStart) {
			fputs(B_TRANSLATE("rdx-reader: --any-tag: every tag read is"
				" passed on\n"), fOutput);
		}
		fflush(fOutput);
		return;
	}
	if (fTags.IsEmpty()) {
		if (fOptions.learn) {
			fprintf(fOutput, B_TRANSLATE("rdx-reader: learning: tags read"
				" are added to %s\n"), path.c_str());
		} else {
			fprintf(fOutput, fTags.Exists()
				? B_TRANSLATE("rdx-reader: the tag list %s is empty: no tag"
					" opens the door. Put one tag per line into it, or run"
					" rdx-reader --learn and present the tags.\n")
				: B_TRANSLATE("rdx-reader: the tag list %s does not exist: no"
					" tag opens the door. Put one tag per line into it, or run"
					" rdx-reader --learn and present the tags.\n"),
				path.c_str());
		}
	} else {
		fprintf(fOutput, atStart
			? B_TRANSLATE("rdx-reader: read the tag list %s: %zu %s\n")
			: B_TRANSLATE("rdx-reader: read again the tag list %s: %zu %s\n"),
			path.c_str(), fTags.CountTags(), fTags.CountTags() == 1
				? B_TRANSLATE("tag") : B_TRANSLATE("tags"));
	}
	fflush(fOutput);
}


void
ReaderLoop::_Wait(Slot& slot)
{
	slot.watcher = std::make_unique<PathWatcher>(slot.source->Path());
	if (!slot.watcher->IsValid()) {
		_Line(slot.source->Path(), translate_format("cannot watch for the"
			" device (%s): not used any more", strerror(errno)));
		slot.watcher.reset();
		slot.dropped = true;
		return;
	}
	// It may have come back before the watch was set.
	_TryAgain(slot);
}


void
ReaderLoop::_TryAgain(Slot& slot)
{
	std::string problem;
	status_t status = slot.source->Open(&problem);
	if (status == B_OK) {
		slot.watcher.reset();
		_Line(slot.source->Path(), B_TRANSLATE("back, reading"));
		return;
	}
	// Not there yet, or there without its permissions yet (udev sets them
	// a moment after the node appears): the next change tells.
	if (status == B_ENTRY_NOT_FOUND || status == B_PERMISSION_DENIED)
		return;
	_Line(slot.source->Path(), translate_format("cannot be used: %s",
		problem.c_str()));
	slot.watcher.reset();
	slot.dropped = true;
}


void
ReaderLoop::_ReadSource(Slot& slot)
{
	TagSource& source = *slot.source;
	const std::string path = source.Path();
	status_t status;
	// A source stops after a tag or a PIN; what it read after them is
	// taken once they are answered, so that a PIN typed right after its
	// tag is read as the PIN.
	do {
		std::vector<SourceEvent> events;
		status = source.Read(&events);
		for (const SourceEvent& event : events) {
			const std::string& reader = event.reader.empty() ? path
				: event.reader;
			if (event.kind == SourceEvent::kTag) {
				Dispatcher::Outcome outcome = fDispatcher.Dispatch(reader,
					event.text, system_time(), source.CanTakePin());
				if (outcome == Dispatcher::kPinWanted)
					source.AwaitPin(true);
			} else if (event.kind == SourceEvent::kPin) {
				bigtime_t enter = system_time();
				// Late is late, also when the Enter and the end of the wait
				// came in the same turn.
				_EndLateWaits();
				if (fDispatcher.IsAwaitingPin(reader) && source.Pin() != nullptr)
					fDispatcher.PinEntered(reader, *source.Pin(), enter);
				source.AwaitPin(false);
				// Reading the keys left copies of them in the stack below.
				PinHash::WipeStack();
			} else
				_Line(reader, event.text);
		}
	} while (status == B_OK && source.IsOpen() && source.HasPending());

	if (status == B_ENTRY_NOT_FOUND) {
		// A PIN half typed at a reader that went away is no PIN.
		if (fDispatcher.IsAwaitingPin(path)) {
			source.AwaitPin(false);
			PinHash::WipeStack();
		}
		_Line(path, B_TRANSLATE("gone; waiting for it to come back"));
		slot.watcher = std::make_unique<PathWatcher>(path);
		if (!slot.watcher->IsValid()) {
			slot.watcher.reset();
			slot.dropped = true;
			_Line(path, B_TRANSLATE("cannot watch for it: not used any"
				" more"));
		}
	}
}


void
ReaderLoop::_EndLateWaits()
{
	std::vector<std::string> ended = fDispatcher.EndLateWaits(system_time());
	for (const std::string& reader : ended) {
		for (Slot& slot : fSlots) {
			if (slot.source->Path() == reader)
				slot.source->AwaitPin(false);
		}
	}
	// What was typed of those PINs was read on the stack below.
	if (!ended.empty())
		PinHash::WipeStack();
}


int
ReaderLoop::Run()
{
	if (!_Start())
		return 1;

	std::vector<struct pollfd> entries;
	// What each entry stands for: -1 the signals, -2 the tag list, -3 the
	// lockdown state, else the slot's index.
	std::vector<int> owners;
	for (;;) {
		entries.clear();
		owners.clear();
		entries.push_back({fSignalFD, POLLIN, 0});
		owners.push_back(-1);
		if (fTagWatcher != nullptr && fTagWatcher->IsValid()) {
			entries.push_back({fTagWatcher->FD(), POLLIN, 0});
			owners.push_back(-2);
		}
		if (fLockdownWatcher != nullptr && fLockdownWatcher->IsValid()) {
			entries.push_back({fLockdownWatcher->FD(), POLLIN, 0});
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

		// Asleep, unless a reader waits for a PIN whose time runs out.
		int timeout = -1;
		bigtime_t deadline = fDispatcher.NextPinDeadline();
		if (deadline != B_INFINITE_TIMEOUT) {
			bigtime_t left = deadline - system_time();
			timeout = left <= 0 ? 0 : (int)((left + 999) / 1000);
		}
		int ready = poll(entries.data(), entries.size(), timeout);
		if (ready < 0) {
			if (errno == EINTR)
				continue;
			fprintf(stderr, B_TRANSLATE("rdx-reader: waiting failed: %s\n"),
				strerror(errno));
			return 1;
		}
		_EndLateWaits();
		for (size_t e = 0; e < entries.size(); e++) {
			if (entries[e].revents == 0)
				continue;
			int owner = owners[e];
			if (owner == -1) {
				struct signalfd_siginfo info;
				if (read(fSignalFD, &info, sizeof(info)) > 0) {
					fprintf(fOutput, B_TRANSLATE("rdx-reader: ending on %s\n"),
						strsignal((int)info.ssi_signo));
					fflush(fOutput);
					return 0;
				}
				continue;
			}
			if (owner == -2) {
				if (fTagWatcher->Read())
					_LoadTags(false);
				continue;
			}
			if (owner == -3) {
				if (fLockdownWatcher->Read())
					_ReadLockdown(false);
				continue;
			}
			Slot& slot = fSlots[(size_t)owner];
			if (slot.source->IsOpen())
				_ReadSource(slot);
			else if (slot.watcher != nullptr && slot.watcher->Read())
				_TryAgain(slot);
		}
	}
}
