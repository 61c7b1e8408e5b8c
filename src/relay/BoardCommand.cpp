#include "BoardCommand.h"

#include <cstdio>
#include <cstring>


std::string
ShellQuote(const char* text)
{
	std::string quoted = "'";
	for (const char* c = text; *c != '\0'; c++) {
		if (*c == '\'')
			quoted += "'\\''";
		else
			quoted += *c;
	}
	quoted += '\'';
	return quoted;
}


status_t
MakeBoardCommand(char (&command)[RDX_COMMAND_BUFFER], const char* address,
	int32 output, int32 level)
{
	return MakeBoardCommand(command, AnswerDirectory::Path(), address, output,
		level);
}


status_t
MakeBoardCommand(char (&command)[RDX_COMMAND_BUFFER],
	const std::string& directory, const char* address, int32 output,
	int32 level)
{
	command[0] = '\0';
	// The directory is one shell word too; the room is that of the word.
	std::string word = AnswerDirectory::ShellWord(directory);
	if (directory.empty() || word.size() > AnswerDirectory::kMaxPath)
		return B_NO_INIT;
	if (address == nullptr)
		address = "";
	// Quoting keeps the shell out, but wget itself would still read a word
	// that begins with '-' as one of its options. No host name begins so.
	if (address[0] == '-')
		return B_BAD_VALUE;

	// wget takes an address without a scheme for HTTP, except one in
	// brackets: it reads "[::1]:80" as an FTP host "[" and fails. Such an
	// IPv6 address gets the scheme it was meant to have.
	std::string url = address[0] == '[' ? "http://" : "";
	url += address;
	char query[32];
	snprintf(query, sizeof(query), "/?%d=%d", (int)output, (int)level);
	url += query;
	url = ShellQuote(url.c_str());

	int length = snprintf(command, RDX_COMMAND_BUFFER,
		"wget -q --output-document=%s/rdx%d.tmp --delete-after --timeout=2 "
		"--tries=1 %s", word.c_str(), (int)output, url.c_str());
	// Measured as if the directory were "/tmp", where the answer files used
	// to be, so that where the directory is never changes which addresses
	// fit.
	int measured = length - ((int)word.size() - (int)strlen("/tmp"));
	if (length < 0 || length >= RDX_COMMAND_BUFFER
		|| measured >= RDX_COMMAND_SIZE) {
		command[0] = '\0';
		return B_NAME_TOO_LONG;
	}
	return B_OK;
}


void
PrintCommandRefusal(int32 relay, status_t reason, const char* address)
{
	if (reason == B_BAD_VALUE) {
		printf("%d | board address refused, it begins with '-': not sent \n",
			(int)relay);
		return;
	}
	if (reason == B_NAME_TOO_LONG) {
		printf("%d | board address too long (%zu characters), the command "
			"would not fit %d characters: not sent \n", (int)relay,
			address != nullptr ? strlen(address) : (size_t)0,
			RDX_COMMAND_SIZE - 1);
		return;
	}
	if (reason == B_NO_INIT) {
		printf("%d | no private directory for the board's answer: not sent \n",
			(int)relay);
		return;
	}
	printf("%d | board command not built: not sent \n", (int)relay);
}
