#include <String.h>

BString::BString(const char* text)
	:
	fText(text != nullptr ? text : "")
{
}


BString::BString(const std::string& text)
	:
	fText(text)
{
}


BString&
BString::SetTo(const char* text)
{
	fText = text != nullptr ? text : "";
	return *this;
}


BString&
BString::Prepend(const char* text)
{
	if (text != nullptr)
		fText.insert(0, text);
	return *this;
}


BString&
BString::Append(const char* text)
{
	if (text != nullptr)
		fText.append(text);
	return *this;
}


BString&
BString::operator=(const char* text)
{
	return SetTo(text);
}


BString&
BString::operator<<(const char* text)
{
	return Append(text);
}


BString&
BString::operator+=(const char* text)
{
	return Append(text);
}


int
BString::Compare(const char* text) const
{
	const unsigned char* a = (const unsigned char*)fText.c_str();
	const unsigned char* b = (const unsigned char*)(text != nullptr ? text : "");
	for (;; a++, b++) {
		if (*a != *b)
			return (int)*a - (int)*b;
		if (*a == '\0')
			return 0;
	}
}


int
BString::Compare(const BString& other) const
{
	return Compare(other.String());
}
