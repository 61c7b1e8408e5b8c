#ifndef PCSC_SOURCE_H
#define PCSC_SOURCE_H

#include "TagSource.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Contactless readers through PC/SC (pcsc-lite's pcscd): every reader, or
// those whose name holds a given text, and readers plugged in later. A card
// that comes into the field is asked for its UID (GET DATA) and released at
// once; it counts once while it stays.
//
// pcsc-lite waits in a blocking call (SCardGetStatusChange) that no
// descriptor stands for, so a thread of its own waits there and hands what
// it found to the loop through an eventfd: the loop still has one
// descriptor per source. SCardCancel ends the wait when the source closes.
class PcscSource : public TagSource {
public:
	// nameFilter: empty for every reader.
							PcscSource(const std::string& nameFilter);
	virtual					~PcscSource();

	virtual	status_t		Open(std::string* problem) override;
	virtual	void			Close() override;
	virtual	bool			IsOpen() const override { return fEventFD >= 0; }
	virtual	int				FD() const override { return fEventFD; }
	virtual	status_t		Read(std::vector<SourceEvent>* events) override;

	// The reader's name as the lines show it.
	static	std::string		Label(const std::string& readerName);
	// The names of the readers pcscd knows now; false with *problem when
	// pcscd cannot be reached.
	static	bool			ListReaders(std::vector<std::string>* names,
								std::string* problem);

private:
			void			_Run();
	// Serves one connection to pcscd until it ends or the source closes.
			void			_Serve(long context);
			void			_ReadCard(long context, const std::string& name);
			void			_Push(const SourceEvent& event);
			bool			_Stopping();

			std::string		fFilter;
			int				fEventFD = -1;
			std::thread		fThread;

			std::mutex		fLock;
			std::condition_variable fWake;
			std::vector<SourceEvent> fPending;
			bool			fStop = false;
			bool			fDone = false;
			// The context the thread waits in, for SCardCancel; 0: none.
			long			fContext = 0;
			bool			fHasContext = false;
};

#endif
