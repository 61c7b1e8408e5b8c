#ifndef _INTERFACE_TOOLKIT_H
#define _INTERFACE_TOOLKIT_H

// Private to the interface kit: the glue to the FLTK toolkit.

#include <GraphicsDefs.h>

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Group.H>

namespace BPrivate {

// Holds the toolkit's global (recursive) lock for a scope.
class ToolkitLocker {
public:
							ToolkitLocker() { Fl::lock(); }
							~ToolkitLocker() { Fl::unlock(); }

							ToolkitLocker(const ToolkitLocker&) = delete;
			ToolkitLocker&	operator=(const ToolkitLocker&) = delete;
};

// FLTK adds every new widget to the group that is "current"; views decide
// for themselves where their widgets go, so widgets are made with no current
// group. A new group becomes current itself, so it is ended at once.
template<typename Widget, typename... Args>
Widget*
NewWidget(Args... args)
{
	Fl_Group* saved = Fl_Group::current();
	Fl_Group::current(nullptr);
	Widget* widget = new Widget(args...);
	if (Fl_Group* group = widget->as_group())
		group->end();
	Fl_Group::current(saved);
	return widget;
}

inline Fl_Color
ToolkitColor(rgb_color color)
{
	return fl_rgb_color(color.red, color.green, color.blue);
}

// Pixel positions from the floats of a frame.
inline int
Pixel(float value)
{
	return (int)(value < 0 ? value - 0.5f : value + 0.5f);
}

const float kDefaultFontSize = 12;
const Fl_Font kDefaultFont = FL_HELVETICA;

// Sets up the toolkit's thread support and event hooks, once.
void InitToolkit();

}	// namespace BPrivate

#endif
