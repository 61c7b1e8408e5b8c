#ifndef SEND_ARGUMENTS_H
#define SEND_ARGUMENTS_H

#include <Message.h>

#include <string>
#include <vector>

// The command line of rdx-send:
//   [--to SIGNATURE] CODE [NAME=TEXT | NAME:string=TEXT | NAME:int32=N
//   | NAME:bool=true|false ...]
//   [--to SIGNATURE] --watch [CODE ...]
//   [--to SIGNATURE] --keep-open TIME | --end-keep-open | --lockdown on|off
// The last three are the desk's commands in words (DeskDefs.h): rdx-send
// then waits for rdx's answer and prints the state it left.
// Parsing never touches anything outside the arguments it is given.
class SendArguments {
public:
							SendArguments(const char* defaultSignature);

			// B_OK, or B_BAD_VALUE with Error() saying what is wrong.
			status_t		Parse(const std::vector<std::string>& arguments);

			bool			WantsHelp() const { return fHelp; }
			bool			WantsVersion() const { return fVersion; }
			// Watch instead of sending, for the notice codes (all when
			// none is given).
			bool			Watches() const { return fWatch; }
			const std::vector<uint32>& WatchCodes() const
								{ return fWatchCodes; }
			// A desk command ('rxKo', 'rxLd') given in words: its answer
			// is waited for.
			bool			IsDeskCommand() const { return fDeskCommand; }
			const std::string& Signature() const { return fSignature; }
			const BMessage&	Message() const { return fMessage; }
			const std::string& Error() const { return fError; }

	static	const char*		Usage();

private:
			status_t		_ParseCode(const std::string& text);
			status_t		_CodeOf(const std::string& text, uint32* code);
			status_t		_ParseField(const std::string& text);
			status_t		_ParseDeskCommand(const std::string& option,
								const std::string& value);
			status_t		_Fail(const std::string& error);

			std::string		fSignature;
			BMessage		fMessage;
			std::string		fError;
			bool			fHelp = false;
			bool			fVersion = false;
			bool			fWatch = false;
			bool			fDeskCommand = false;
			std::vector<uint32> fWatchCodes;
};

#endif
