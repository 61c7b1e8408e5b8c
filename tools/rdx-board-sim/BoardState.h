#ifndef BOARD_STATE_H
#define BOARD_STATE_H

#include <array>
#include <mutex>
#include <string>

// The board's four relay outputs, 3 to 6, each at level 0 (open) or 1
// (closed). A fresh board has every relay closed.
class BoardState {
public:
	static const int kFirstOutput = 3;
	static const int kLastOutput = 6;

	// Parses the query's output and level; false (and no change) when either
	// is not one the board knows.
	static	bool			ParseSwitch(const std::string& output,
								const std::string& level, int* outputIndex,
								int* levelValue);

			void			Set(int output, int level);
			int				Level(int output) const;

			std::string		MainPage() const;
			std::string		OwnerPage() const;

private:
	mutable	std::mutex		fLock;
			std::array<int, 4> fLevels{1, 1, 1, 1};
};

#endif
