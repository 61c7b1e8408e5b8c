#ifndef LOCKDOWN_FILE_H
#define LOCKDOWN_FILE_H

#include <SupportDefs.h>

#include <string>

// Whether the door is in lockdown, kept in the state directory beside the
// access log so that it survives a restart of any program: rdx writes it
// (it alone), rdx-reader, rdx-door and rdx-tags read it.
//
//	lockdown on
//	by rdx-tags
//	since 2026-12-08T09:14:03.127Z
//
// When in doubt, lock: a file that cannot be read, or that anyone but the
// user could have written (another user's, writable by others, a link, in
// a directory on a way others may change), counts as lockdown on, and the
// problem says so and how to mend it. No file at all is lockdown off: it
// was never set.
class LockdownFile {
public:
	struct State {
		bool		on = false;
		// Who set it and when, as the file says; empty when it does not.
		std::string	by;
		std::string	since;
		// Why the file is not believed: then on is true. Empty otherwise.
		std::string	problem;
		// The doubt is about the way to the file (a directory others may
		// change), which ends when that is mended. A doubt about the file
		// itself ends only with a lift: its bytes may be another's.
		bool		wayDoubted = false;
		// Whether there was a file (also one that is not believed).
		bool		found = false;
	};

	// $XDG_STATE_HOME/RDX/lockdown, without an absolute XDG_STATE_HOME
	// $HOME/.local/state/RDX/lockdown; empty when neither is set.
	static	std::string		DefaultPath();

	explicit				LockdownFile(const std::string& path
								= DefaultPath());

			const std::string& Path() const { return fPath; }

			State			Read() const;
	// Puts a new file in place atomically (a temporary file in the same
	// directory, synced, renamed over the old one, the directory synced),
	// so that a reader sees the old state or the new one, and a power cut
	// leaves one of them. B_OK, or an error and *problem says why.
			status_t		Write(bool on, const std::string& by,
								const std::string& since,
								std::string* problem) const;

	// The file's bytes, and the state in them (false: they are none).
	static	std::string		Format(bool on, const std::string& by,
								const std::string& since);
	static	bool			Parse(const std::string& bytes, State* state);

private:
			std::string		fPath;
};

#endif
