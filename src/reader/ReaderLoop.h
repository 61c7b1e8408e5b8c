#ifndef READER_LOOP_H
#define READER_LOOP_H

#include "CardAnnouncer.h"
#include "Dispatcher.h"
#include "PathWatcher.h"
#include "PinLocks.h"
#include "ReaderOptions.h"
#include "RepeatFilter.h"
#include "TagList.h"
#include "TagPoster.h"
#include "TagSource.h"

#include <LockdownFile.h>

#include <cstdio>
#include <memory>
#include <vector>

// The whole of rdx-reader once the options are read: every source, the tag
// list and the signals in one blocking poll. Nothing wakes it while
// nothing happens: a missing device and the tag list are watched with
// inotify, never looked at in turn.
class ReaderLoop {
public:
							ReaderLoop(const ReaderOptions& options,
								FILE* output = stdout);
							~ReaderLoop();

	// Records every read in the access log as well.
			void			SetLog(AccessLog* log)
								{ fDispatcher.SetLog(log); }

	// Runs until SIGTERM or SIGINT: 0 then; 1 when none of the named
	// readers can be used at all (none is there or awaited).
			int				Run();

private:
	struct Slot {
		std::unique_ptr<TagSource> source;
		// Set while the source waits for its device to come back.
		std::unique_ptr<PathWatcher> watcher;
		bool			dropped = false;
	};

			bool			_Start();
			void			_LoadTags(bool atStart);
			// Reads the lockdown state again and says when it changed.
			void			_ReadLockdown(bool atStart);
	// Never inlined into Run(), for the same reason as a source's reads:
	// the wipe of the stack after a PIN reaches only the frames below it.
	[[gnu::noinline]] void	_ReadSource(Slot& slot);
			void			_EndLateWaits();
			void			_Wait(Slot& slot);
			void			_TryAgain(Slot& slot);
			void			_Line(const std::string& source,
								const std::string& text);

			ReaderOptions	fOptions;
			FILE*			fOutput;
			std::vector<Slot> fSlots;
			TagList			fTags;
			std::unique_ptr<PathWatcher> fTagWatcher;
			LockdownFile	fLockdown;
			std::unique_ptr<PathWatcher> fLockdownWatcher;
			std::string		fLockdownProblem;
			RepeatFilter	fRepeats;
			TagPoster		fPoster;
			Dispatcher		fDispatcher;
			std::unique_ptr<CardAnnouncer> fAnnouncer;
			PinLocks		fPinLocks;
			int				fSignalFD = -1;
};

#endif
