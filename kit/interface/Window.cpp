#include <Window.h>

#include <Message.h>
#include <MessageQueue.h>
#include <View.h>

#include "Toolkit.h"

#include <FL/Fl_Double_Window.H>
#include <FL/x.H>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace BPrivate {

// Posted to the window by its toolkit widget; turned into the hooks on the
// window's thread.
const uint32 kWindowMovedMessage = '_WMV';
const uint32 kWindowResizedMessage = '_WRS';

// The toolkit window that stands for a BWindow.
class WindowWidget : public Fl_Double_Window {
public:
	WindowWidget(BWindow* owner, int x, int y, int width, int height,
			const char* title)
		:
		Fl_Double_Window(x, y, width, height, title),
		fOwner(owner)
	{
	}

	void resize(int x, int y, int width, int height) override
	{
		bool moved = x != this->x() || y != this->y();
		int dw = width - w();
		int dh = height - h();
		Fl_Double_Window::resize(x, y, width, height);
		if (fOwner == nullptr)
			return;
		if (dw != 0 || dh != 0)
			fOwner->_WidgetResized();
		if (moved)
			fOwner->_WidgetMoved();
	}

	BWindow* Owner() const { return fOwner; }
	void KeyDown(int key)
	{
		if (fOwner != nullptr)
			fOwner->_KeyDown(key);
	}
	void CloseRequested()
	{
		if (fOwner != nullptr)
			fOwner->_CloseRequested();
	}
	void Disown() { fOwner = nullptr; }

private:
	BWindow* fOwner;
};


namespace {

std::once_flag sToolkitOnce;
std::once_flag sDisplayOnce;
status_t sDisplayStatus = B_ERROR;
// Window threads that wait in the toolkit's loop at the same time. The
// toolkit wakes only one waiter per Fl::awake(), so with more than one they
// also look at their queues now and then.
std::atomic<int> sWaitingLoops{0};

const int kSuperLeft = XK_Super_L;
const int kSuperRight = XK_Super_R;


WindowWidget*
WidgetOf(Fl_Window* window)
{
	for (Fl_Window* top = window; top != nullptr; top = top->window()) {
		if (WindowWidget* widget = dynamic_cast<WindowWidget*>(top))
			return widget;
	}
	return nullptr;
}


// Every event passes here first, so that keys reach the window whichever
// widget has the focus.
int
DispatchEvent(int event, Fl_Window* window)
{
	if (event == FL_KEYDOWN && window != nullptr) {
		if (WindowWidget* widget = WidgetOf(window))
			widget->KeyDown(Fl::event_key());
	}
	return Fl::handle_(event, window);
}


// The descriptors this process has open now.
std::set<int>
open_descriptors()
{
	std::set<int> descriptors;
	if (DIR* directory = opendir("/proc/self/fd")) {
		// Not the directory's own, which is closed again at once.
		while (struct dirent* entry = readdir(directory)) {
			if (entry->d_name[0] != '.'
				&& atoi(entry->d_name) != dirfd(directory))
				descriptors.insert(atoi(entry->d_name));
		}
		closedir(directory);
	}
	return descriptors;
}

}	// namespace


void
InitToolkit()
{
	std::call_once(sToolkitOnce, [] {
		// The first call sets up the toolkit's thread support (the pipe
		// that Fl::awake() writes to).
		std::set<int> before = open_descriptors();
		Fl::lock();
		// Every window's thread waits in the toolkit, and all of them wake
		// when the pipe has a byte; the toolkit's own read of it blocks, so
		// the second to come would wait there for ever, holding the lock
		// that every window needs. Not blocking, it finds the byte gone and
		// goes on.
		for (int fd : open_descriptors()) {
			struct stat status;
			if (before.count(fd) == 0 && fstat(fd, &status) == 0
				&& S_ISFIFO(status.st_mode))
				fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
		}
		Fl::event_dispatch(DispatchEvent);
		// Windows are closed by the application, never by the toolkit's
		// Escape shortcut or default close handling.
		Fl::unlock();
	});
}

}	// namespace BPrivate

using namespace BPrivate;


rgb_color
ui_panel_background_color()
{
	return make_color(216, 216, 216, 255);
}


status_t
open_display()
{
	// Opened once; later calls (from views measuring text with the window,
	// and so the toolkit, locked) take no lock of their own, which keeps the
	// lock order plain.
	std::call_once(sDisplayOnce, [] {
		const char* program = program_invocation_short_name;
		const char* name = getenv("DISPLAY");
		if (name == nullptr || name[0] == '\0') {
			fprintf(stderr, "%s: no X display (DISPLAY is not set): run it on "
				"a desktop or under xvfb-run\n", program);
			return;
		}
		Display* display = XOpenDisplay(name);
		if (display == nullptr) {
			fprintf(stderr, "%s: cannot open the X display '%s': run it on a "
				"desktop or under xvfb-run\n", program, name);
			return;
		}
		InitToolkit();
		ToolkitLocker locker;
		fl_open_display(display);
		sDisplayStatus = B_OK;
	});
	return sDisplayStatus;
}


// #pragma mark - BWindow


BWindow::BWindow(BRect frame, const char* title, window_type type,
	uint32 flags, uint32 workspace)
	:
	BLooper(title),
	fTitle(title != nullptr ? title : ""),
	fType(type),
	fFlags(flags),
	fWorkspaces(workspace)
{
	// A window is of no use without a display; say so plainly instead of
	// letting the toolkit fail later.
	if (open_display() != B_OK) {
		fflush(stdout);
		_exit(1);
	}

	ToolkitLocker locker;
	int x = Pixel(frame.left);
	int y = Pixel(frame.top);
	fWidget = NewWidget<WindowWidget>(this, x, y,
		std::max(1, Pixel(frame.right) - x),
		std::max(1, Pixel(frame.bottom) - y), nullptr);
	fWidget->resizable(nullptr);
	fWidget->color(ToolkitColor(ui_panel_background_color()));
	fWidget->callback([](Fl_Widget* widget, void*) {
		// The toolkit calls this for the close button of the frame and
		// for an Escape that no button took; the second closes only a
		// modal window (a dialog is cancelled by Escape).
		WindowWidget* window = static_cast<WindowWidget*>(widget);
		if (Fl::event() != FL_CLOSE && (window->Owner() == nullptr
				|| window->Owner()->Type() != B_MODAL_WINDOW
				|| Fl::event_key() != FL_Escape))
			return;
		window->CloseRequested();
	});
	// A modal window keeps the operator's input from the others while it
	// is shown.
	if (type == B_MODAL_WINDOW)
		fWidget->set_modal();
	_ApplyFlags();
	fWidget->copy_label(fTitle.c_str());
	fLastFrame = Frame();
	fLastSize.Set(fLastFrame.Width(), fLastFrame.Height());

	Queue()->SetWaker([] { Fl::awake(); });
}


BWindow::~BWindow()
{
	ToolkitLocker locker;
	Queue()->SetWaker(nullptr);
	fWidget->Disown();
	fWidget->hide();
	while (!fChildren.empty()) {
		BView* child = fChildren.back();
		RemoveChild(child);
		delete child;
	}
	delete fWidget;
	fWidget = nullptr;
}


void
BWindow::Show()
{
	{
		ToolkitLocker locker;
		fWidget->show();
		fShown = true;
		// The first show maps the window; later moves are reported.
		fLastFrame = Frame();
	}
	if (Thread() < 0)
		Run();
	Fl::awake();
}


void
BWindow::Hide()
{
	ToolkitLocker locker;
	fWidget->hide();
}


bool
BWindow::IsHidden() const
{
	ToolkitLocker locker;
	return !fWidget->shown() || !fWidget->visible();
}


void
BWindow::Quit()
{
	{
		ToolkitLocker locker;
		fWidget->hide();
	}
	BLooper::Quit();
}


bool
BWindow::Lock()
{
	Fl::lock();
	return BLooper::Lock();
}


void
BWindow::Unlock()
{
	// The loop paints after each message it dispatches; another thread's
	// changes are painted when the loop wakes. Decided before the unlock:
	// a window that is ending its life may be deleted the moment another
	// thread lets go of it.
	bool fromOtherThread = find_thread(nullptr) != Thread();
	BLooper::Unlock();
	Fl::unlock();
	if (fromOtherThread)
		Fl::awake();
}


void
BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (handler == this) {
		switch (message->what) {
			case kWindowMovedMessage:
			{
				BRect frame = Frame();
				if (frame.LeftTop() == fLastFrame.LeftTop())
					return;
				fLastFrame = frame;
				FrameMoved(frame.LeftTop());
				return;
			}
			case kWindowResizedMessage:
			{
				BRect frame = Frame();
				fLastFrame = frame;
				FrameResized(frame.Width(), frame.Height());
				return;
			}
		}
	}
	BLooper::DispatchMessage(message, handler);
}


void
BWindow::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}


void
BWindow::FrameMoved(BPoint newPosition)
{
}


void
BWindow::FrameResized(float newWidth, float newHeight)
{
}


BRect
BWindow::Frame() const
{
	ToolkitLocker locker;
	float x = fWidget->x();
	float y = fWidget->y();
	return BRect(x, y, x + fWidget->w(), y + fWidget->h());
}


BRect
BWindow::Bounds() const
{
	ToolkitLocker locker;
	return BRect(0, 0, fWidget->w(), fWidget->h());
}


void
BWindow::MoveTo(BPoint where)
{
	MoveTo(where.x, where.y);
}


void
BWindow::MoveTo(float x, float y)
{
	ToolkitLocker locker;
	fWidget->position(Pixel(x), Pixel(y));
}


void
BWindow::MoveBy(float dx, float dy)
{
	BRect frame = Frame();
	MoveTo(frame.left + dx, frame.top + dy);
}


void
BWindow::ResizeTo(float width, float height)
{
	ToolkitLocker locker;
	int w = std::max(1, Pixel(width));
	int h = std::max(1, Pixel(height));
	// Size limits follow a size set by the program.
	if ((fFlags & B_NOT_RESIZABLE) != 0)
		fWidget->size_range(w, h, w, h);
	fWidget->size(w, h);
}


void
BWindow::ResizeBy(float dw, float dh)
{
	BRect frame = Frame();
	ResizeTo(frame.Width() + dw, frame.Height() + dh);
}


status_t
BWindow::SetFlags(uint32 flags)
{
	ToolkitLocker locker;
	fFlags = flags;
	_ApplyFlags();
	return B_OK;
}


void
BWindow::_ApplyFlags()
{
	int w = fWidget->w();
	int h = fWidget->h();
	if ((fFlags & B_NOT_RESIZABLE) != 0)
		fWidget->size_range(w, h, w, h);
	else
		fWidget->size_range(1, 1, 0, 0);
}


void
BWindow::SetTitle(const char* title)
{
	ToolkitLocker locker;
	fTitle = title != nullptr ? title : "";
	fWidget->copy_label(fTitle.c_str());
}


void
BWindow::AddChild(BView* child, BView* before)
{
	if (child == nullptr || child->fParent != nullptr
		|| child->fWindow != nullptr)
		return;
	ToolkitLocker locker;
	auto position = std::find(fChildren.begin(), fChildren.end(), before);
	int widgetIndex = fWidget->children();
	if (position != fChildren.end())
		widgetIndex = fWidget->find((*position)->fWidget);
	fChildren.insert(position, child);
	fWidget->insert(*child->fWidget, widgetIndex);
	child->_UpdateGeometry();
	child->_UpdateColor();
	child->_Attach(this);
	fWidget->redraw();
}


bool
BWindow::RemoveChild(BView* child)
{
	if (child == nullptr || child->fParent != nullptr
		|| child->fWindow != this)
		return false;
	auto found = std::find(fChildren.begin(), fChildren.end(), child);
	if (found == fChildren.end())
		return false;
	ToolkitLocker locker;
	child->_Detach();
	fChildren.erase(found);
	fWidget->remove(child->fWidget);
	fWidget->redraw();
	return true;
}


int32
BWindow::CountChildren() const
{
	return (int32)fChildren.size();
}


BView*
BWindow::ChildAt(int32 index) const
{
	if (index < 0 || index >= (int32)fChildren.size())
		return nullptr;
	return fChildren[index];
}


BView*
BWindow::FindView(const char* name) const
{
	for (BView* child : fChildren) {
		if (BView* found = child->FindView(name))
			return found;
	}
	return nullptr;
}


BView*
BWindow::CurrentFocus() const
{
	ToolkitLocker locker;
	Fl_Widget* focus = Fl::focus();
	if (focus == nullptr)
		return nullptr;
	std::vector<BView*> pending(fChildren.begin(), fChildren.end());
	while (!pending.empty()) {
		BView* view = pending.back();
		pending.pop_back();
		if (view->FocusWidget() == focus)
			return view;
		pending.insert(pending.end(), view->fChildren.begin(),
			view->fChildren.end());
	}
	return nullptr;
}


void
BWindow::task_looper()
{
	Fl::lock();
	sWaitingLoops++;
	while (!IsTerminating()) {
		if (!DispatchPending())
			break;
		Fl::flush();
		Fl::wait(sWaitingLoops > 1 ? 0.05 : 1e20);
	}
	sWaitingLoops--;
	Fl::unlock();
}


void
BWindow::FinishLooper()
{
	Fl::lock();
	// The one hold of the toolkit lock that the destructors run under; the
	// owner is already marked dead, so no messenger reaches the window.
	fEndingOnOwnThread = true;
	delete this;
	Fl::unlock();
	// Let another window's loop notice that this one is gone.
	Fl::awake();
}


void
BWindow::RunWithoutToolkitLock(const std::function<void()>& work)
{
	if (!fEndingOnOwnThread || find_thread(nullptr) != Thread()) {
		work();
		return;
	}
	Fl::unlock();
	work();
	Fl::lock();
}


void
BWindow::_Relayout(float dw, float dh)
{
	for (BView* child : fChildren)
		child->_ParentResized(dw, dh);
}


void
BWindow::_WidgetMoved()
{
	PostMessage(kWindowMovedMessage);
}


void
BWindow::_WidgetResized()
{
	BRect frame = Frame();
	_Relayout(frame.Width() - fLastSize.x, frame.Height() - fLastSize.y);
	fLastSize.Set(frame.Width(), frame.Height());
	PostMessage(kWindowResizedMessage);
}


void
BWindow::_CloseRequested()
{
	PostMessage(B_QUIT_REQUESTED);
}


// Reports the keys that give no character and no toolkit action: the
// Super keys, which are the Option keys of this platform.
void
BWindow::_KeyDown(int key)
{
	int32 code;
	if (key == kSuperLeft || key == FL_Meta_L)
		code = B_LEFT_OPTION_KEY_CODE;
	else if (key == kSuperRight || key == FL_Meta_R)
		code = B_RIGHT_OPTION_KEY_CODE;
	else
		return;

	BMessage message(B_UNMAPPED_KEY_DOWN);
	message.AddInt32("modifiers", (int32)_Modifiers());
	message.AddInt32("key", code);
	PostMessage(&message);
}


// The platform's modifier bits from the keys held now (the key of the
// current event included).
uint32
BWindow::_Modifiers()
{
	struct Pair {
		int		key;
		uint32	bits;
	};
	static const Pair kKeys[] = {
		{FL_Shift_L, B_SHIFT_KEY | B_LEFT_SHIFT_KEY},
		{FL_Shift_R, B_SHIFT_KEY | B_RIGHT_SHIFT_KEY},
		{FL_Control_L, B_CONTROL_KEY | B_LEFT_CONTROL_KEY},
		{FL_Control_R, B_CONTROL_KEY | B_RIGHT_CONTROL_KEY},
		{FL_Alt_L, B_COMMAND_KEY | B_LEFT_COMMAND_KEY},
		{FL_Alt_R, B_COMMAND_KEY | B_RIGHT_COMMAND_KEY},
		{kSuperLeft, B_OPTION_KEY | B_LEFT_OPTION_KEY},
		{kSuperRight, B_OPTION_KEY | B_RIGHT_OPTION_KEY},
		{FL_Meta_L, B_OPTION_KEY | B_LEFT_OPTION_KEY},
		{FL_Meta_R, B_OPTION_KEY | B_RIGHT_OPTION_KEY},
		{FL_Menu, B_MENU_KEY},
	};
	uint32 modifiers = 0;
	for (const Pair& pair : kKeys) {
		if (Fl::event_key(pair.key))
			modifiers |= pair.bits;
	}
	int state = Fl::event_state();
	if ((state & FL_SHIFT) != 0)
		modifiers |= B_SHIFT_KEY;
	if ((state & FL_CTRL) != 0)
		modifiers |= B_CONTROL_KEY;
	if ((state & FL_ALT) != 0)
		modifiers |= B_COMMAND_KEY;
	if ((state & FL_META) != 0)
		modifiers |= B_OPTION_KEY;
	if ((state & FL_CAPS_LOCK) != 0)
		modifiers |= B_CAPS_LOCK;
	if ((state & FL_NUM_LOCK) != 0)
		modifiers |= B_NUM_LOCK;
	if ((state & FL_SCROLL_LOCK) != 0)
		modifiers |= B_SCROLL_LOCK;
	return modifiers;
}
