#ifndef _VIEW_H
#define _VIEW_H

#include <GraphicsDefs.h>
#include <Handler.h>
#include <InterfaceDefs.h>
#include <Rect.h>

#include <vector>

class BWindow;
class Fl_Group;
class Fl_Widget;

// A rectangle of a window that draws itself and may hold child views.
//
// Frames are BRects in the parent's coordinates (the window's for a view
// added to the window). A rectangle (l, t, r, b) covers the pixels from l up
// to but not including r, so a view is r - l pixels wide and b - t pixels
// high; Bounds() is (0, 0, width, height). This holds for windows too.
//
// A view is a handler of its window while it is attached. Its children are
// owned by it and deleted with it. Everything that changes a view from
// outside the window's thread must be done with the window locked.
class BView : public BHandler {
public:
							BView(BRect frame, const char* name,
								uint32 resizingMode, uint32 flags);
	virtual					~BView();

	virtual	void			AttachedToWindow();
	virtual	void			DetachedFromWindow();
	virtual	void			FrameMoved(BPoint newPosition);
	virtual	void			FrameResized(float newWidth, float newHeight);
	virtual	void			MessageReceived(BMessage* message);

	// Appends the child (or puts it before the given sibling).
			void			AddChild(BView* child, BView* before = nullptr);
	// Detaches the child; the caller owns it again.
			bool			RemoveChild(BView* child);
			bool			RemoveSelf();
			int32			CountChildren() const;
			BView*			ChildAt(int32 index) const;
			BView*			Parent() const { return fParent; }
			BWindow*		Window() const { return fWindow; }
	// This view or a descendant with that name, depth first.
			BView*			FindView(const char* name) const;

			BRect			Bounds() const;
			BRect			Frame() const { return fFrame; }
			void			MoveTo(BPoint where);
			void			MoveTo(float x, float y);
			void			MoveBy(float dx, float dy);
	// Keeps left and top; right = left + width, bottom = top + height.
			void			ResizeTo(float width, float height);
			void			ResizeBy(float dw, float dh);

			uint32			ResizingMode() const { return fResizingMode; }
			void			SetResizingMode(uint32 mode);
			uint32			Flags() const { return fFlags; }
			void			SetFlags(uint32 flags);

	// The view colour fills the view's background, always opaque. A view
	// that was given none shows its parent's.
	virtual	void			SetViewColor(rgb_color color);
			void			SetViewColor(uint8 red, uint8 green, uint8 blue,
								uint8 alpha = 255);
			rgb_color		ViewColor() const;

	virtual	void			SetFontSize(float size);
			float			FontSize() const { return fFontSize; }
	// The width of the text in this view's own font, in pixels.
			float			StringWidth(const char* text) const;

			void			Invalidate();
			void			Invalidate(BRect rect);

	virtual	void			MakeFocus(bool focus = true);
			bool			IsFocus() const;

	virtual	void			Show();
	virtual	void			Hide();
			bool			IsHidden() const;

			BPoint			ConvertToScreen(BPoint point) const;
			BRect			ConvertToScreen(BRect rect) const;

protected:
	// The toolkit widget that stands for this view. Subclasses that need a
	// widget of their own pass it to the constructor below; it then belongs
	// to the view.
							BView(BRect frame, const char* name,
								uint32 resizingMode, uint32 flags,
								Fl_Widget* widget, Fl_Group* container);
			Fl_Widget*		Widget() const { return fWidget; }
	// Where children's widgets go; null for views that take no children.
			Fl_Group*		ContainerWidget() const { return fContainer; }
			void			SetContainer(Fl_Group* container);

	// Called after the view's widget geometry, colour or font changed, for
	// views whose widget has inner parts to place.
	virtual	void			LayoutWidget();
	// Gives the toolkit widget the view's colour; views whose widget has a
	// face of its own (a push button) keep it.
	virtual	void			ApplyViewColor(rgb_color color);
	// The widget that takes the keyboard focus for this view.
	virtual	Fl_Widget*		FocusWidget() const { return fWidget; }
	// The colour the view paints with: its own, or else its parent's.
			rgb_color		EffectiveViewColor() const;
			bool			HasViewColor() const { return fHasViewColor; }

private:
	friend class BWindow;

			void			_Init(Fl_Widget* widget, Fl_Group* container);
			void			_Attach(BWindow* window);
			void			_Detach();
			void			_ParentResized(float dw, float dh);
			void			_UpdateGeometry();
			void			_UpdateColor();
			BPoint			_WindowOrigin() const;

			BRect			fFrame;
			uint32			fResizingMode;
			uint32			fFlags;
			BView*			fParent = nullptr;
			BWindow*		fWindow = nullptr;
			std::vector<BView*> fChildren;
			Fl_Widget*		fWidget = nullptr;
			Fl_Group*		fContainer = nullptr;
			rgb_color		fViewColor;
			bool			fHasViewColor = false;
			float			fFontSize;
			bool			fHidden = false;
};

#endif
