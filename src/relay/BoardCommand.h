#ifndef BOARD_COMMAND_H
#define BOARD_COMMAND_H

#include "AnswerDirectory.h"

#include <SupportDefs.h>

#include <string>

// The room a board command has, terminator included, counted as if its
// answer file were the old /tmp/rdxN.tmp: an address that fitted then fits
// now, wherever the process's answer directory is.
#define RDX_COMMAND_SIZE 256

// The buffer a board command is built in: the room above and the answer
// directory's path.
#define RDX_COMMAND_BUFFER (RDX_COMMAND_SIZE + AnswerDirectory::kMaxPath)

// The shell command that switches one output of the board:
//   wget -q --output-document=DIR/rdxN.tmp --delete-after --timeout=2
//   --tries=1 'ADDRESS/?N=L'
// DIR is the process's private answer directory (AnswerDirectory), one
// shell word: as it is for an ordinary path, quoted for any other.
// The address and the query are one shell word in single quotes, so that no
// address can make the shell do anything but run wget with it. An IPv6
// address in brackets is given "http://", which wget needs to read it.
//
// Returns B_OK with the command in the buffer; B_BAD_VALUE for an address
// that wget would take for an option (it begins with '-'); B_NAME_TOO_LONG
// when the command does not fit RDX_COMMAND_SIZE; B_NO_INIT when there is
// no answer directory. On failure the buffer holds an empty string: a
// command cut short is never handed on.
status_t MakeBoardCommand(char (&command)[RDX_COMMAND_BUFFER],
	const char* address, int32 output, int32 level);

// The same with the answer directory given.
status_t MakeBoardCommand(char (&command)[RDX_COMMAND_BUFFER],
	const std::string& directory, const char* address, int32 output,
	int32 level);

// The text as one single-quoted shell word; each ' is written '\''.
std::string ShellQuote(const char* text);

// Prints the line for a command that was refused, with the relay number.
void PrintCommandRefusal(int32 relay, status_t reason, const char* address);

#endif
