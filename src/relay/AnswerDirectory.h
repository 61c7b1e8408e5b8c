#ifndef ANSWER_DIRECTORY_H
#define ANSWER_DIRECTORY_H

#include <mutex>
#include <string>

// The private directory where wget leaves the board's answers. /tmp is
// shared by every user of the machine: a fixed name there lets anyone plant
// a link that the answer is written through, or a file that makes every
// request fail. So each process makes a directory of its own (mode 0700,
// made atomically by mkdtemp) under $XDG_RUNTIME_DIR, else under /tmp, and
// removes it, answers included, when it ends.
class AnswerDirectory {
public:
	// The directory's longest path; a longer $XDG_RUNTIME_DIR falls back to
	// /tmp, so that the board command keeps its room for the address.
	static constexpr size_t kMaxPath = 128;
	// The directory below it where the opens' answers wait (OpenGate).
	static constexpr const char* kGateName = "gate";

	// The process's directory, made on the first call. Empty when none could
	// be made (one line says why): no board request is then sent.
	static std::string Path();

	// Removes the directory and what wget left in it. A later Path() makes
	// a new one.
	static void Remove();

	// The path as one shell word: as it is when it holds nothing that a
	// shell reads (every directory made under an ordinary runtime directory
	// or /tmp), else in single quotes. $XDG_RUNTIME_DIR is the user's to
	// set, and a space or a ';' in it must not split or run the command.
	static std::string ShellWord(const std::string& path);

private:
							AnswerDirectory() = default;
							~AnswerDirectory();

	static	AnswerDirectory&	Shared();

			std::string		_Make();
			void			_Remove();
	static	void			_RemoveGates(int parent);

			std::mutex		fLock;
			std::string		fPath;
			bool			fFailed = false;
};

#endif
