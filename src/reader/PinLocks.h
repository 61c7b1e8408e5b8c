#ifndef PIN_LOCKS_H
#define PIN_LOCKS_H

#include <ctime>
#include <map>
#include <string>
#include <vector>

// Wrong PINs in a row, per tag, and the tags refused for a while after too
// many: someone who found a card does not get to try every PIN. Kept in
// the state directory (pin-locks beside the access log) and written at
// every change, so that a restart of rdx-reader lifts no lock and clears
// no count. Times are the wall clock's seconds, which a reboot keeps.
class PinLocks {
public:
							PinLocks(const std::string& path, int tries,
								int lockSeconds);

	// $XDG_STATE_HOME/RDX/pin-locks, ~/.local/state/RDX/pin-locks; empty
	// without either.
	static	std::string		DefaultPath();

	// Reads what an earlier run kept; a line per problem. A record that
	// someone else could have changed (another user's, writable by others,
	// in a directory others may write, reached through a link), one that
	// is no plain file, or one with a line that cannot be read is refused:
	// it might hide a lock, so IsKept() says no until it is mended.
			void			Load(std::vector<std::string>* problems);
	// Whether the record is one to go by; false with *why when it was
	// refused. A refused record is read again first, so that one mended
	// counts at once.
			bool			IsKept(std::string* why);

	// Whether the tag is refused now; *until gets the moment it ends.
			bool			IsLocked(const std::string& tag, time_t now,
								time_t* until);
	// A wrong PIN for the tag: how many in a row now. At the limit the tag
	// is locked (*until set, else 0). A problem with keeping it on disk
	// goes to *problem (the lock holds in memory all the same).
			int				Wrong(const std::string& tag, time_t now,
								time_t* until, std::string* problem);
	// The right PIN: the count starts again.
			void			Right(const std::string& tag,
								std::string* problem);

			int				Tries() const { return fTries; }

private:
	struct State {
		int				wrong = 0;
		time_t			until = 0;
	};

			bool			_Read(std::string* why);
			bool			_Save(std::string* problem);

			std::string		fPath;
			int				fTries;
			int				fLockSeconds;
			std::map<std::string, State> fTags;
			// Why the record was refused; empty when it is kept.
			std::string		fDoubt;
};

#endif
