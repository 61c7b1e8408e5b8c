#ifndef TEST_TEMP_DIR_H
#define TEST_TEMP_DIR_H

#include <string>

// A fresh directory below $TMPDIR (or /tmp), removed with everything in it
// when the object goes.
class TempDir {
public:
							TempDir(const char* prefix = "rdx-test");
							~TempDir();

							TempDir(const TempDir&) = delete;
			TempDir&		operator=(const TempDir&) = delete;

			const std::string& Path() const { return fPath; }
			std::string		Sub(const std::string& relative) const
								{ return fPath + "/" + relative; }

private:
			std::string		fPath;
};

#endif
