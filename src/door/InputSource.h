#ifndef INPUT_SOURCE_H
#define INPUT_SOURCE_H

#include "Debouncer.h"

#include <SupportDefs.h>

#include <string>
#include <vector>

// A change at one of the door's inputs: its level, once it held still, or
// that it cannot be read any more.
struct InputChange {
	// The input's index in DoorConfig::inputs.
	size_t			input;
	// 1 active (a key down, a switch on, a line at its active level), 0
	// inactive, -1 not readable any more.
	int				level;
	std::string		reason;
	// Read as the device was opened: how it stands, not a change. A
	// button found held down is no press.
	bool			initial = false;
	// When the change was made, on the boot clock, as the device stamped
	// it; 0 when only the moment it was read is known.
	bigtime_t		when = 0;
};


// One device the door's inputs are read from: an input device or a GPIO
// line. Every kind has the same shape, so that one loop waits on all of
// them: Open it, wait on its descriptor, Read what it has; while it is
// away, watch its path. Levels go through a Debouncer per input, whose
// deadlines the loop waits for as well.
class InputSource {
public:
	virtual					~InputSource() = default;

	// The device node as door.conf names it: watched while it is away.
			const std::string& Path() const { return fPath; }

	// B_OK, with the levels that can be read at once in *changes; an error
	// with *problem saying why in a few words: B_ENTRY_NOT_FOUND or
	// B_PERMISSION_DENIED when it may come (the loop waits for it), any
	// other when it never can.
	virtual	status_t		Open(std::vector<InputChange>* changes,
								std::string* problem) = 0;
	virtual	void			Close() = 0;
	virtual	bool			IsOpen() const = 0;
	virtual	int				FD() const = 0;
	// Reads what is there without blocking. B_ENTRY_NOT_FOUND when the
	// device went away: it is closed then, and each input is reported
	// unreadable.
	virtual	status_t		Read(std::vector<InputChange>* changes,
								bigtime_t now) = 0;

			bigtime_t		NextDeadline() const;
			void			Pulse(bigtime_t now,
								std::vector<InputChange>* changes);
	// Reports every input of the source as unreadable: it is not there,
	// or cannot be used.
			void			Unreadable(const std::string& reason,
								std::vector<InputChange>* changes);

protected:
							InputSource(const std::string& path)
								: fPath(path) {}

	struct Line {
		size_t			input;
		Debouncer		debouncer;
	};

			size_t			_AddLine(size_t input, bigtime_t debounce);
			// A level read when the device was opened: it counts at once.
			void			_Known(size_t line, int level,
								std::vector<InputChange>* changes);
			void			_Level(size_t line, int level, bigtime_t now,
								std::vector<InputChange>* changes,
								bigtime_t when = 0);
			void			_Lost(const std::string& reason,
								std::vector<InputChange>* changes);

			std::vector<Line> fLines;

private:
			std::string		fPath;
};

#endif
