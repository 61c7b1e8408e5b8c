#ifndef BOARD_COMMAND_H
#define BOARD_COMMAND_H

#include <SupportDefs.h>

#include <string>

// The buffer a board command is built in, terminator included.
#define RDX_COMMAND_SIZE 256

// The shell command that switches one output of the board:
//   wget -q --output-document=/tmp/rdxN.tmp --delete-after --timeout=2
//   --tries=1 'ADDRESS/?N=L'
// The address and the query are one shell word in single quotes, so that no
// address can make the shell do anything but run wget with it. An IPv6
// address in brackets is given "http://", which wget needs to read it.
//
// Returns B_OK with the command in the buffer; B_BAD_VALUE for an address
// that wget would take for an option (it begins with '-'); B_NAME_TOO_LONG
// when the command does not fit RDX_COMMAND_SIZE. On failure the buffer
// holds an empty string: a command cut short is never handed on.
status_t MakeBoardCommand(char (&command)[RDX_COMMAND_SIZE],
	const char* address, int32 output, int32 level);

// The text as one single-quoted shell word; each ' is written '\''.
std::string ShellQuote(const char* text);

// Prints the line for a command that was refused, with the relay number.
void PrintCommandRefusal(int32 relay, status_t reason, const char* address);

#endif
