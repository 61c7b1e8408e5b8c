#ifndef RDX_STATE_H
#define RDX_STATE_H

#include "Publication.h"
#include "TopicMap.h"

#include <SupportDefs.h>

#include <string>
#include <vector>

class BMessage;

// What the broker should hear from rdx's notices: the relays' states,
// board use, lockdown and a keep-open (retained, and only when they
// change) and each tag read (as it comes, with "result": "lockdown" for one
// rdx refused). It remembers the states so that they can be told again
// after the broker went away.
class RdxState {
public:
							RdxState(const TopicMap& topics);

			// The publications one notice of rdx calls for; now is seconds
			// since the epoch, for a tag read's time.
			std::vector<Publication> Notice(const BMessage& notice,
								double now);
			// Every state known, to be told again.
			std::vector<Publication> States() const;

			// 'o' open, 'x' closed, 0 not known; relay 1 to 4.
			char			RelayMark(int32 relay) const;
			// -1 not known, 0 off, 1 on.
			int				BoardUse() const { return fBoardUse; }
			// -1 not known, 0 off, 1 on.
			int				Lockdown() const { return fLockdown; }

	// "2026-12-08T01:02:03.456Z".
	static	std::string		UtcTime(double seconds);

private:
			void			_Relays(const char* image,
								std::vector<Publication>* publications);
			void			_Use(bool use,
								std::vector<Publication>* publications);
			Publication		_RelayState(int32 relay) const;
			Publication		_UseState() const;
			void			_DoorMode(const BMessage& notice,
								std::vector<Publication>* publications);

			const TopicMap&	fTopics;
			char			fRelays[4] = {};
			int				fBoardUse = -1;
			int				fLockdown = -1;
			// The keep_open topic's payload as last told; empty: not known.
			std::string		fKeepOpen;
};

#endif
