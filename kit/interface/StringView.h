#ifndef _STRING_VIEW_H
#define _STRING_VIEW_H

#include <View.h>

#include <string>

// One line of text, drawn left-aligned and vertically centred.
class BStringView : public BView {
public:
							BStringView(BRect frame, const char* name,
								const char* text,
								uint32 resizingMode = B_FOLLOW_LEFT
									| B_FOLLOW_TOP,
								uint32 flags = B_WILL_DRAW);
	virtual					~BStringView();

			void			SetText(const char* text);
			const char*		Text() const { return fText.c_str(); }

private:
			std::string		fText;
};

#endif
