// The floor of the start-up and memory figures: the least an FLTK program
// does to show one window of rdx's size in rdx's background colour.
//
// The colour is on a box inside the window, as rdx has it on a view inside
// its window: a window whose own colour is a flat box gets that colour as
// its X background, which the server paints at map time, before the
// program has drawn anything. Both programs are timed to their own first
// drawing.

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Window.H>

int
main(int argc, char** argv)
{
	Fl_Window window(100, 100, 400, 125, "rdx-fltk-floor");
	Fl_Box background(FL_FLAT_BOX, 0, 0, 400, 125, nullptr);
	background.color(fl_rgb_color(237, 242, 235));
	window.end();
	window.show();
	return Fl::run();
}
