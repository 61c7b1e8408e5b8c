#include "SendArguments.h"

#include <DeskDefs.h>
#include <KeepOpenTime.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const size_t kMaxNameLength = 255;

}	// namespace


SendArguments::SendArguments(const char* defaultSignature)
	:
	fSignature(defaultSignature)
{
}


const char*
SendArguments::Usage()
{
	return
		"usage: rdx-send [--to SIGNATURE] CODE [FIELD ...]\n"
		"       rdx-send [--to SIGNATURE] --watch [CODE ...]\n"
		"Posts one message to a running application, or follows what it"
			" tells its watchers.\n"
		"  CODE                  the message code, four characters (RFID)\n"
		"  NAME=TEXT             a string field\n"
		"  NAME:string=TEXT      a string field whose name holds ':'\n"
		"  NAME:int32=N          a 32-bit integer field\n"
		"  NAME:bool=true|false  a boolean field\n"
		"  --to SIGNATURE        the application (default: "
			"application/x-vnd-RDX-BeOS)\n"
		"  --watch [CODE ...]    print every notice the application sends"
			" (only those\n"
		"                        of the codes, when given) until it ends\n"
		"  --keep-open TIME      keep the tag relay open for TIME (30m, 2h,"
			" 1h30m, 90s;\n"
		"                        at most 12h) from now; 0 ends it\n"
		"  --end-keep-open       end a keep-open now: the relay closes\n"
		"  --lockdown on|off     refuse every tag, exit button and remote"
			" open, or lift\n"
		"                        that; the commands wait for rdx's answer"
			" and print\n"
		"                        the state it left\n"
		"  --help                this text\n"
		"  --version             the program's version\n"
		"A name given again adds another value of the same type.\n"
		"Example, a tag read: rdx-send RFID _tagstr=04A1B2C3\n"
		"Example, follow the door: rdx-send --watch\n"
		"Example, keep the door open for half an hour: rdx-send --keep-open"
			" 30m\n"
		"Exit status: 0 delivered (or watched until the application ended"
			" the watch),\n"
		"1 not delivered (no application runs) or refused, 2 bad"
			" arguments.\n";
}


status_t
SendArguments::Parse(const std::vector<std::string>& arguments)
{
	size_t index = 0;
	bool haveCode = false;
	for (; index < arguments.size(); index++) {
		const std::string& argument = arguments[index];
		if (argument == "--help" || argument == "-h") {
			fHelp = true;
			return B_OK;
		}
		if (argument == "--version") {
			fVersion = true;
			return B_OK;
		}
		if (argument == "--watch") {
			fWatch = true;
			continue;
		}
		if (argument == "--keep-open" || argument == "--lockdown") {
			if (index + 1 >= arguments.size())
				return _Fail(argument + (argument == "--lockdown"
					? " needs on or off" : " needs a time (30m, 2h, 0)"));
			if (_ParseDeskCommand(argument, arguments[++index]) != B_OK)
				return B_BAD_VALUE;
			continue;
		}
		if (argument == "--end-keep-open") {
			if (_ParseDeskCommand("--keep-open", "0") != B_OK)
				return B_BAD_VALUE;
			continue;
		}
		if (argument == "--") {
			index++;
			break;
		}
		if (argument == "--to") {
			if (index + 1 >= arguments.size())
				return _Fail("--to needs a signature");
			fSignature = arguments[++index];
		} else if (argument.rfind("--to=", 0) == 0)
			fSignature = argument.substr(5);
		else if (argument.size() > 1 && argument[0] == '-'
			&& argument.size() != 4)
			return _Fail("unknown option \"" + argument + "\"");
		else
			break;
		if (fSignature.empty())
			return _Fail("the signature is empty");
	}

	if (fDeskCommand) {
		if (fWatch)
			return _Fail("--watch cannot go with a command");
		if (index < arguments.size()) {
			return _Fail("\"" + arguments[index] + "\" after the command:"
				" it takes no fields");
		}
		return B_OK;
	}

	if (fWatch) {
		for (; index < arguments.size(); index++) {
			uint32 code;
			if (_CodeOf(arguments[index], &code) != B_OK)
				return B_BAD_VALUE;
			fWatchCodes.push_back(code);
		}
		return B_OK;
	}

	if (index < arguments.size()) {
		if (_ParseCode(arguments[index]) != B_OK)
			return B_BAD_VALUE;
		haveCode = true;
		index++;
	}
	if (!haveCode)
		return _Fail("the message code is missing");

	for (; index < arguments.size(); index++) {
		if (_ParseField(arguments[index]) != B_OK)
			return B_BAD_VALUE;
	}
	if (fMessage.FlattenedSize() > (ssize_t)BMessage::kMaxFlattenedSize) {
		return _Fail("the message is larger than "
			+ std::to_string(BMessage::kMaxFlattenedSize) + " bytes");
	}
	return B_OK;
}


status_t
SendArguments::_ParseCode(const std::string& text)
{
	uint32 code;
	if (_CodeOf(text, &code) != B_OK)
		return B_BAD_VALUE;
	fMessage.what = code;
	return B_OK;
}


status_t
SendArguments::_CodeOf(const std::string& text, uint32* _code)
{
	if (text.size() != 4)
		return _Fail("the code \"" + text + "\" is not four characters");
	uint32 code = 0;
	for (char c : text) {
		if ((unsigned char)c < 0x20 || (unsigned char)c > 0x7e)
			return _Fail("the code \"" + text + "\" is not four printable"
				" characters");
		code = (code << 8) | (uint8)c;
	}
	*_code = code;
	return B_OK;
}


status_t
SendArguments::_ParseField(const std::string& text)
{
	size_t equals = text.find('=');
	if (equals == std::string::npos)
		return _Fail("the field \"" + text + "\" has no '='");
	std::string left = text.substr(0, equals);
	std::string value = text.substr(equals + 1);
	std::string name = left;
	std::string type = "string";
	size_t colon = left.rfind(':');
	if (colon != std::string::npos) {
		name = left.substr(0, colon);
		type = left.substr(colon + 1);
	}
	if (name.empty())
		return _Fail("the field \"" + text + "\" has no name");
	if (name.size() > kMaxNameLength) {
		return _Fail("the field name \"" + name.substr(0, 20)
			+ "...\" is longer than 255 characters");
	}

	type_code existing;
	type_code wanted = type == "string" ? B_STRING_TYPE
		: type == "int32" ? B_INT32_TYPE
		: type == "bool" ? B_BOOL_TYPE : 0;
	if (wanted == 0) {
		return _Fail("the field \"" + name + "\" has the unknown type \""
			+ type + "\" (string, int32 or bool)");
	}
	if (fMessage.GetInfo(name.c_str(), &existing) == B_OK
		&& existing != wanted) {
		return _Fail("the field \"" + name
			+ "\" is given again with another type");
	}

	switch (wanted) {
		case B_INT32_TYPE:
		{
			// Decimal only, with an optional sign, nothing around it.
			const char* start = value.c_str();
			bool digits = !value.empty();
			for (size_t i = 0; i < value.size(); i++) {
				char c = value[i];
				if (!(c >= '0' && c <= '9')
					&& !(i == 0 && (c == '-' || c == '+') && value.size() > 1))
					digits = false;
			}
			if (!digits) {
				return _Fail("the value of \"" + name + "\" is not a whole"
					" number: \"" + value + "\"");
			}
			errno = 0;
			char* end = nullptr;
			long long number = strtoll(start, &end, 10);
			if (errno == ERANGE || number < INT32_MIN || number > INT32_MAX) {
				return _Fail("the value of \"" + name + "\" is out of the"
					" int32 range: " + value);
			}
			fMessage.AddInt32(name.c_str(), (int32)number);
			return B_OK;
		}
		case B_BOOL_TYPE:
			if (value != "true" && value != "false") {
				return _Fail("the value of \"" + name
					+ "\" is not true or false: \"" + value + "\"");
			}
			fMessage.AddBool(name.c_str(), value == "true");
			return B_OK;
		default:
			fMessage.AddString(name.c_str(), value.c_str());
			return B_OK;
	}
}


status_t
SendArguments::_ParseDeskCommand(const std::string& option,
	const std::string& value)
{
	if (fDeskCommand)
		return _Fail(option + ": one command at a time");
	fDeskCommand = true;
	if (option == "--lockdown") {
		// Exactly the two words: a slip must not read as either.
		if (value != "on" && value != "off")
			return _Fail("--lockdown takes on or off, not \"" + value + "\"");
		fMessage.what = RDX_MSG_LOCKDOWN;
		fMessage.AddBool(RDX_FIELD_ON, value == "on");
		return B_OK;
	}
	int32 seconds;
	std::string problem;
	if (!KeepOpenTime::Parse(value, &seconds, &problem))
		return _Fail("--keep-open: " + problem);
	fMessage.what = RDX_MSG_KEEP_OPEN;
	fMessage.AddInt32(RDX_FIELD_SECONDS, seconds);
	return B_OK;
}


status_t
SendArguments::_Fail(const std::string& error)
{
	fError = error;
	return B_BAD_VALUE;
}
