#include "PinSetter.h"

#include <Locale.h>
#include <PinHash.h>
#include <TagList.h>
#include <TagListEditor.h>

#include <sodium.h>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace {

// Locked memory for typed digits, overwritten when it goes.
class SecretLine {
public:
	static const size_t kCapacity = 64;

	SecretLine()
	{
		if (sodium_init() >= 0)
			fData = static_cast<char*>(sodium_malloc(kCapacity));
	}
	~SecretLine()
	{
		if (fData != nullptr)
			sodium_free(fData);
	}
	SecretLine(const SecretLine&) = delete;
	SecretLine& operator=(const SecretLine&) = delete;

	const char* Data() const { return fData; }
	size_t Length() const { return fLength; }
	bool IsValid() const { return fData != nullptr; }

	// One line from the descriptor, byte by byte: nothing is read past
	// its end, and no buffer but this one holds it. false at the end of
	// the input before a line, or when the line is longer than the room.
	bool Read(int fd, bool* tooLong)
	{
		fLength = 0;
		*tooLong = false;
		bool any = false;
		for (;;) {
			char c;
			ssize_t count = read(fd, &c, 1);
			if (count < 0 && errno == EINTR)
				continue;
			if (count <= 0)
				return any;
			any = true;
			if (c == '\n')
				break;
			if (c == '\r')
				continue;
			if (fLength >= kCapacity) {
				*tooLong = true;
				continue;
			}
			fData[fLength++] = c;
			c = 0;
		}
		return true;
	}

private:
	char*	fData = nullptr;
	size_t	fLength = 0;
};


// The terminal as it was, for a signal that ends the program while echo is
// off: Ctrl-C at the prompt must not leave the shell typing blind.
struct termios sSavedModes;
volatile sig_atomic_t sSavedFD = -1;
const int kEndingSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};


void
restore_and_end(int signal)
{
	if (sSavedFD >= 0)
		tcsetattr(sSavedFD, TCSANOW, &sSavedModes);
	// The handler was reset as it ran: raised again, the signal ends the
	// program as it would have.
	raise(signal);
}


// Echo off on the terminal while the PIN is typed, on again afterwards.
class NoEcho {
public:
	explicit NoEcho(int fd)
		:
		fFD(fd)
	{
		if (tcgetattr(fd, &fSaved) != 0)
			return;
		sSavedModes = fSaved;
		sSavedFD = fd;
		struct sigaction action = {};
		action.sa_handler = restore_and_end;
		action.sa_flags = SA_RESETHAND;
		sigemptyset(&action.sa_mask);
		for (size_t i = 0; i < std::size(kEndingSignals); i++)
			sigaction(kEndingSignals[i], &action, &fOldActions[i]);
		struct termios quiet = fSaved;
		quiet.c_lflag &= ~(tcflag_t)(ECHO | ECHONL);
		fSet = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
	}
	~NoEcho()
	{
		if (sSavedFD < 0)
			return;
		if (fSet)
			tcsetattr(fFD, TCSAFLUSH, &fSaved);
		sSavedFD = -1;
		for (size_t i = 0; i < std::size(kEndingSignals); i++)
			sigaction(kEndingSignals[i], &fOldActions[i], nullptr);
	}

private:
	int				fFD;
	struct termios	fSaved;
	struct sigaction fOldActions[std::size(kEndingSignals)];
	bool			fSet = false;
};


bool
read_pin(int input, FILE* errors, const char* prompt, SecretLine* line,
	bool terminal)
{
	bool tooLong = false;
	if (terminal) {
		fputs(prompt, errors);
		fflush(errors);
	}
	bool read;
	{
		NoEcho quiet(input);
		read = line->Read(input, &tooLong);
	}
	if (terminal)
		fputs("\n", errors);
	if (!read) {
		fputs(B_TRANSLATE("rdx-reader: no PIN was given\n"), errors);
		return false;
	}
	if (tooLong) {
		fprintf(errors, B_TRANSLATE("rdx-reader: a PIN has at most %d"
			" digits\n"), (int)PinHash::kLongest);
		return false;
	}
	return true;
}

}	// namespace


int
PinSetter::Run(const std::string& path, const std::string& tag, int input,
	FILE* output, FILE* errors)
{
	std::string shownTag = TagList::Printable(TagList::Normalized(tag));
	bool terminal = isatty(input);
	SecretLine pin, again;
	if (!pin.IsValid() || !again.IsValid()) {
		fputs(B_TRANSLATE("rdx-reader: no locked memory for the PIN\n"),
			errors);
		return 1;
	}
	std::string prompt = translate_format("PIN for %s: ", shownTag.c_str());
	if (!read_pin(input, errors, prompt.c_str(), &pin, terminal))
		return 1;
	std::string refusal = PinHash::Refusal(pin.Data(), pin.Length(),
		TagList::Normalized(tag));
	if (!refusal.empty()) {
		fprintf(errors, "rdx-reader: %s\n", refusal.c_str());
		return 1;
	}
	if (terminal) {
		if (!read_pin(input, errors, B_TRANSLATE("The same PIN again: "),
				&again, terminal))
			return 1;
		if (again.Length() != pin.Length()
			|| sodium_memcmp(again.Data(), pin.Data(), pin.Length()) != 0) {
			fputs(B_TRANSLATE("rdx-reader: the two PINs differ: nothing is"
				" written\n"), errors);
			return 1;
		}
	}

	std::string hash, problem;
	if (!PinHash::Make(pin.Data(), pin.Length(), &hash, &problem)) {
		fprintf(errors, "rdx-reader: %s\n", problem.c_str());
		return 1;
	}

	TagListEditor editor(path);
	status_t status = editor.Load(&problem);
	if (status != B_OK) {
		fprintf(errors, B_TRANSLATE("rdx-reader: cannot read the tag list"
			" %s: %s\n"), TagList::Printable(path).c_str(),
			TagList::Printable(problem).c_str());
		return 1;
	}
	bool askedAlways = false;
	if (editor.SetPinHash(tag, hash, &askedAlways, &problem) != B_OK
		|| editor.Save(&problem) != B_OK) {
		fprintf(errors, B_TRANSLATE("rdx-reader: the PIN of %s is not"
			" written: %s\n"), shownTag.c_str(),
			TagList::Printable(problem).c_str());
		return 1;
	}
	const TagLine* line = editor.File().Find(tag);
	fprintf(output, B_TRANSLATE("rdx-reader: the PIN of %s is set (line %d of"
		" %s)\n"), shownTag.c_str(), line != nullptr ? line->Number() : 0,
		TagList::Printable(path).c_str());
	if (askedAlways) {
		fputs(B_TRANSLATE("rdx-reader: its line had no 'pin' item: 'pin' is"
			" added, so the PIN is asked at every read (pin outside @staff"
			" asks it only outside those hours)\n"), output);
	}
	fflush(output);
	return 0;
}
