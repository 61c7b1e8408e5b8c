#ifndef OPEN_RELAY_RECORD_H
#define OPEN_RELAY_RECORD_H

#include <SupportDefs.h>

#include <mutex>
#include <string>
#include <vector>

// The relays this program has opened and not yet seen closed, with the board
// address each was opened at, kept in a file beside the access log. The
// board keeps its outputs when the program dies (a crash, a kill, a power
// cut of the PC), so what the file holds is closed at the next chance: at
// the next start, and while the program runs (see RelayRecovery).
//
// The file always has the same size and layout, a header line and
// kMaxEntries slots of fixed width, so that every change is one pwrite() of
// the whole file at offset 0 into blocks it already has: it fits one page,
// which a killed process leaves either whole or untouched, it needs no
// truncation afterwards, and a full disk does not stop it.
//
//	RDX open relays 2
//	4 015 127.0.0.1:8080<spaces>
//	- 000 <spaces>
//
// Twenty-two slots hold more relays not seen closed than four relays need,
// so that a few boards that do not answer any more (or a mistyped address
// that a tag was tried on) do not fill it; a record with no free slot
// refuses the next open rather than forget a relay that may be open. An
// address takes at most 175 characters, more than any board command has
// room for. The eight slots of 255 characters of the first version are
// still read.
//
// One program keeps the file at a time (it holds an flock on it), in a
// directory that nobody else may change (PathTrust). A record that cannot
// be kept is a reason not to open: Ready() says whether an open may be
// recorded now.
//
// All methods may be called from any thread.
class OpenRelayRecord {
public:
	struct Entry {
		int32		relay = 0;
		std::string	address;

		bool		operator==(const Entry& other) const
						{ return relay == other.relay
							&& address == other.address; }
	};

	static constexpr size_t kMaxEntries = 22;
	static constexpr size_t kMaxAddress = 175;

	// $XDG_STATE_HOME/RDX/open-relays, without XDG_STATE_HOME
	// $HOME/.local/state/RDX/open-relays; empty when neither is set.
	static	std::string		DefaultPath();

	// The record the relay workers keep, or null when there is none (as in
	// tests of the workers alone).
	static	OpenRelayRecord* Default();
	static	void			SetDefault(OpenRelayRecord* record);

							OpenRelayRecord(const std::string& path);
							~OpenRelayRecord();

							OpenRelayRecord(const OpenRelayRecord&) = delete;
			OpenRelayRecord& operator=(const OpenRelayRecord&) = delete;

			const std::string& Path() const { return fPath; }

	// Takes the file for this program and reads what an earlier run left
	// in it. B_OK with the entries (none for a new file). Otherwise
	// *problem says what, for a line, and:
	//   B_NO_INIT        there is no state directory at all;
	//   B_NAME_IN_USE    another program keeps the record: its entries are
	//                    its own, and this one cannot record;
	//   B_PERMISSION_DENIED  the directory may be changed by others (or
	//                    cannot be used): nothing in it is believed, and
	//                    nothing can be recorded until that is mended;
	//   B_NOT_ALLOWED    the file belongs to another user or is a link;
	//   B_BAD_DATA       it cannot be read as a record;
	//   EROFS            it is on a file system that turned read-only: its
	//                    entries are read and believed, but nothing can be
	//                    recorded;
	//   another error    it cannot be opened.
	// After any but the first three and EROFS, Begin() replaces the file.
			status_t		Load(std::vector<Entry>* entries,
								std::string* problem);

	// Writes the entries, in place when the file Load() took can hold them,
	// else into a fresh file put in its place, and keeps the record from
	// now on. On failure one line says why, and no open is recorded (so
	// none is made) until Ready() can take the record again.
			status_t		Begin(const std::vector<Entry>& entries);

	// Whether an open can be recorded now. A record that could not be kept
	// is tried again here (this is where it comes back once the disk has
	// room or the directory is mended), with a line when it does; so is one
	// whose file was removed or replaced meanwhile, which is written anew.
	// *tookOver tells whether the file taken held entries not known so
	// far: relays that may be open, to be closed now.
			bool			Ready(bool* tookOver = nullptr);

	// Before an open's request goes out: the relay and the address are
	// written to the file, without waiting for the disk. Refused when the
	// record cannot be kept (said once), has no free slot (said each time)
	// or the address is longer than a slot: then the open must not go
	// out.
			status_t		Opened(int32 relay, const char* address);
	// Waits until the disk holds what was written. An error means the
	// record cannot be kept: the open must not go out.
			status_t		Sync();
	// After a close that the board at that address answered. With
	// unlessReopened, the entry stays when the relay's mark says it was
	// opened again meanwhile: that open may have reached the board after
	// the close.
			void			Closed(int32 relay, const char* address,
								bool unlessReopened = false);

			std::vector<Entry> Entries() const;

	// The file's bytes for the entries; exposed for the tests.
	static	std::string		Format(const std::vector<Entry>& entries);
	// The entries in the file's bytes; false when they are no record.
	static	bool			Parse(const std::string& bytes,
								std::vector<Entry>* entries);

private:
			status_t		_Take(std::vector<Entry>* entries,
								std::string* problem);
			status_t		_Begin(const std::vector<Entry>& entries,
								std::string* problem);
			status_t		_WriteInPlace(std::string* problem);
			status_t		_Replace(std::string* problem);
			bool			_Write();
			void			_Lost(const std::string& problem);
			bool			_StillNamed() const;
			void			_CloseFile();

			std::string		fPath;
			mutable std::mutex fLock;
			int				fFD = -1;
			// Load() took a file that must be replaced, not written in.
			bool			fReplace = false;
			// The file was made by this program and its name is not yet
			// on the disk.
			bool			fCreated = false;
			bool			fKept = false;
			std::vector<Entry> fEntries;
			// The loss of the record was said; said again only after it
			// came back.
			bool			fLossSaid = false;
};

#endif
