#ifndef _WINDOW_H
#define _WINDOW_H

#include <InterfaceDefs.h>
#include <Looper.h>
#include <Rect.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class BView;

namespace BPrivate {
class WindowWidget;
}

// A top-level window: a looper whose thread, started by the first Show(),
// runs the toolkit's event loop and dispatches the window's messages.
//
// The window's lock is the toolkit's one global lock, so holding it keeps
// the event loop (and every other window) away from the views; Unlock()
// wakes the loop, which paints what was changed at once. Closing the window
// from its frame posts B_QUIT_REQUESTED to the window; QuitRequested()
// decides, and Quit() hides the window, ends the loop and deletes the window
// on its own thread.
//
// Frame() is the content area in screen coordinates, Bounds() is
// (0, 0, width, height); see View.h for how rectangles map to pixels.
class BWindow : public BLooper {
public:
							BWindow(BRect frame, const char* title,
								window_type type, uint32 flags,
								uint32 workspace = B_CURRENT_WORKSPACE);
	virtual					~BWindow();

	virtual	void			Show();
	virtual	void			Hide();
			bool			IsHidden() const;
	virtual	void			Quit();

	virtual	bool			Lock();
	virtual	void			Unlock();

	virtual	void			DispatchMessage(BMessage* message,
								BHandler* handler);
	virtual	void			MessageReceived(BMessage* message);
	virtual	void			FrameMoved(BPoint newPosition);
	virtual	void			FrameResized(float newWidth, float newHeight);

			BRect			Frame() const;
			BRect			Bounds() const;
			void			MoveTo(BPoint where);
			void			MoveTo(float x, float y);
			void			MoveBy(float dx, float dy);
			void			ResizeTo(float width, float height);
			void			ResizeBy(float dw, float dh);

			status_t		SetFlags(uint32 flags);
			uint32			Flags() const { return fFlags; }
			window_type		Type() const { return fType; }
			uint32			Workspaces() const { return fWorkspaces; }

			const char*		Title() const { return fTitle.c_str(); }
			void			SetTitle(const char* title);

			void			AddChild(BView* child, BView* before = nullptr);
			bool			RemoveChild(BView* child);
			int32			CountChildren() const;
			BView*			ChildAt(int32 index) const;
			BView*			FindView(const char* name) const;
			BView*			CurrentFocus() const;

	// A window is at the top of the view hierarchy: it has no parent.
			BHandler*		Parent() const { return nullptr; }

protected:
	virtual	void			task_looper();
	virtual	void			FinishLooper();

	// For a destructor that has to wait on something outside (a device, a
	// peer): runs work without the toolkit lock when the window is ending
	// on its own thread, where nobody can reach it any more, so that other
	// windows' loops and painting go on meanwhile. Anywhere else the work
	// runs as it is.
			void			RunWithoutToolkitLock(
								const std::function<void()>& work);

private:
	friend class BView;
	friend class BPrivate::WindowWidget;

			void			_Relayout(float dw, float dh);
			void			_WidgetMoved();
			void			_WidgetResized();
			void			_CloseRequested();
			void			_KeyDown(int key);
	static	uint32			_Modifiers();
			void			_ApplyFlags();

			std::string		fTitle;
			window_type		fType;
			uint32			fFlags;
			uint32			fWorkspaces;
			BPrivate::WindowWidget* fWidget;
			std::vector<BView*> fChildren;
			BRect			fLastFrame;
			BPoint			fLastSize;
			bool			fShown = false;
			bool			fEndingOnOwnThread = false;
};

#endif
