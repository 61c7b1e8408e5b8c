#ifndef _B_STRING_H
#define _B_STRING_H

#include <SupportDefs.h>

#include <string>

// A text value. Comparison is by unsigned byte values, one by one; where one
// text is a prefix of the other, the shorter one is less.
class BString {
public:
							BString() = default;
							BString(const char* text);
							BString(const std::string& text);

			const char*		String() const { return fText.c_str(); }
			int32			Length() const { return (int32)fText.size(); }

			BString&		SetTo(const char* text);
			BString&		Prepend(const char* text);
			BString&		Append(const char* text);
			BString&		operator=(const char* text);
			BString&		operator<<(const char* text);
			BString&		operator+=(const char* text);

			int				Compare(const char* text) const;
			int				Compare(const BString& other) const;

			bool			operator==(const char* text) const
								{ return Compare(text) == 0; }

private:
			std::string		fText;
};

#endif
