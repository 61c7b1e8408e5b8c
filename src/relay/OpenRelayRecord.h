#ifndef OPEN_RELAY_RECORD_H
#define OPEN_RELAY_RECORD_H

#include <SupportDefs.h>

#include <mutex>
#include <string>
#include <vector>

// The relays this program has opened and not yet seen closed, with the board
// address each was opened at, kept in a file beside the access log. The
// board keeps its outputs when the program dies (a crash, a kill, a power
// cut of the PC), so the next start reads the file and closes what it holds.
//
// The file always has the same size and layout, a header line and
// kMaxEntries slots of fixed width, so that every change is one pwrite() of
// the whole file at offset 0: it fits one page, which a killed process
// leaves either whole or untouched, and it needs no truncation afterwards.
//
//	RDX open relays 1
//	4 015 127.0.0.1:8080<spaces>
//	- 000 <spaces>
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

	static constexpr size_t kMaxEntries = 8;
	static constexpr size_t kMaxAddress = 255;

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

	// What an earlier run left in the file. B_OK with the entries (none when
	// there is no file); B_BAD_DATA when it cannot be read as a record,
	// B_NOT_ALLOWED when it belongs to another user, another error when it
	// cannot be opened. *problem then says what, for a line.
			status_t		Load(std::vector<Entry>* entries,
								std::string* problem) const;

	// Replaces whatever the file holds (also one of another user or one
	// that cannot be read) by a fresh file with the entries, and keeps it
	// open for the changes that follow. On failure one line says why and
	// the record keeps nothing on disk.
			status_t		Begin(const std::vector<Entry>& entries);

	// Before an open's request goes out: the relay and the address are
	// written to the file, without waiting for the disk.
			void			Opened(int32 relay, const char* address);
	// After the request went out: asks the disk to keep the file.
			void			Sync();
	// After a close that the board answered. With unlessReopened, the
	// entry stays when the relay's mark says it was opened again meanwhile:
	// that open may have reached the board after the close.
			void			Closed(int32 relay, const char* address,
								bool unlessReopened = false);

			std::vector<Entry> Entries() const;

	// The file's bytes for the entries; exposed for the tests.
	static	std::string		Format(const std::vector<Entry>& entries);
	// The entries in the file's bytes; false when they are no record.
	static	bool			Parse(const std::string& bytes,
								std::vector<Entry>* entries);

private:
			void			_Write();

			std::string		fPath;
			mutable std::mutex fLock;
			int				fFD = -1;
			std::vector<Entry> fEntries;
			bool			fFailureSaid = false;
};

#endif
