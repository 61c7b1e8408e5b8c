#ifndef TAG_SOURCE_H
#define TAG_SOURCE_H

#include <SupportDefs.h>

#include <string>
#include <vector>

class PinBuffer;

// What a source makes of the bytes it read: a tag, or a line saying what
// was dropped and why, or the Enter after a PIN (whose digits stay in the
// source's PinBuffer, never in the event). Kept in one list so that the lines come out in the
// order the reader sent things.
struct SourceEvent {
	enum Kind { kTag, kProblem, kPin };

	Kind			kind;
	std::string		text;
	// Where a source stands for several readers (PC/SC): the one that read
	// it, which names it in the lines instead of the source's path.
	std::string		reader;

	static SourceEvent Tag(const std::string& tag,
						const std::string& reader = "")
						{ return {kTag, tag, reader}; }
	static SourceEvent Problem(const std::string& line,
						const std::string& reader = "")
						{ return {kProblem, line, reader}; }
	static SourceEvent PinEntered() { return {kPin, "", ""}; }
};


// One reader device. Every kind has the same shape, so that one loop waits
// on all of them: Open it, wait on its descriptor, Read what it has.
class TagSource {
public:
	virtual					~TagSource() = default;

	// The path as the user named it; it names the source in every line.
			const std::string& Path() const { return fPath; }

	// B_OK, or an error with *problem saying why in a few words. A source
	// that cannot be opened because its device is not there gives
	// B_ENTRY_NOT_FOUND, so that the caller can wait for it.
	virtual	status_t		Open(std::string* problem) = 0;
	virtual	void			Close() = 0;
	virtual	bool			IsOpen() const = 0;
	// The descriptor to wait on for input; -1 when closed.
	virtual	int				FD() const = 0;
	// Reads what is there without blocking and appends what it decoded.
	// B_OK while the device stays; B_ENTRY_NOT_FOUND when it went away
	// (unplugged): the source is closed then and may be opened again.
	virtual	status_t		Read(std::vector<SourceEvent>* events) = 0;
	// Whether Read() stopped with input left over. A source stops after a
	// tag or a PIN, so that what comes next is read as the answer to it
	// asks (a PIN after a tag that wants one), and is read again at once.
	virtual	bool			HasPending() const { return false; }

	// Sources with keys take a PIN typed after a tag: while awaited, the
	// next keys and Enter are the PIN, never a tag. AwaitPin(false) ends
	// the wait and overwrites what was typed.
	virtual	bool			CanTakePin() const { return false; }
	virtual	void			AwaitPin(bool /*awaited*/) {}
	// The PIN typed, after a kPin event; null for sources without keys.
	virtual	const PinBuffer* Pin() const { return nullptr; }

protected:
							TagSource(const std::string& path)
								: fPath(path) {}

private:
			std::string		fPath;
};

#endif
