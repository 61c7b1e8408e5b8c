#ifndef _BOX_H
#define _BOX_H

#include <View.h>

#include <string>

// A group box: a border with a label at its top left, holding other views.
class BBox : public BView {
public:
							BBox(BRect frame, const char* name = nullptr,
								uint32 resizingMode = B_FOLLOW_LEFT
									| B_FOLLOW_TOP,
								uint32 flags = B_WILL_DRAW | B_FRAME_EVENTS
									| B_NAVIGABLE_JUMP,
								border_style border = B_FANCY_BORDER);
	virtual					~BBox();

			void			SetLabel(const char* label);
			const char*		Label() const;
			void			SetBorder(border_style border);
			border_style	Border() const { return fBorder; }

private:
			std::string		fLabel;
			border_style	fBorder;
};

#endif
