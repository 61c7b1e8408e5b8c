#include <View.h>

#include <Message.h>
#include <Window.h>

#include "Toolkit.h"

#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstring>

using namespace BPrivate;


BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
	:
	BHandler(name),
	fFrame(frame),
	fResizingMode(resizingMode),
	fFlags(flags),
	fFontSize(kDefaultFontSize)
{
	ToolkitLocker locker;
	Fl_Group* group = NewWidget<Fl_Group>(0, 0, 1, 1);
	group->box(FL_FLAT_BOX);
	// Children are placed by their resizing modes, not by the toolkit.
	group->resizable(nullptr);
	_Init(group, group);
}


BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags,
	Fl_Widget* widget, Fl_Group* container)
	:
	BHandler(name),
	fFrame(frame),
	fResizingMode(resizingMode),
	fFlags(flags),
	fFontSize(kDefaultFontSize)
{
	ToolkitLocker locker;
	_Init(widget, container);
}


void
BView::_Init(Fl_Widget* widget, Fl_Group* container)
{
	fViewColor = ui_panel_background_color();
	fWidget = widget;
	fContainer = container;
	fWidget->user_data(this);
	fWidget->labelfont(kDefaultFont);
	fWidget->labelsize((int)fFontSize);
	if (fContainer != nullptr)
		fContainer->resizable(nullptr);
	_UpdateGeometry();
	ApplyViewColor(EffectiveViewColor());
}


BView::~BView()
{
	ToolkitLocker locker;
	if (fWindow != nullptr || fParent != nullptr)
		RemoveSelf();
	// Children first: each takes its widget out of this view's group, so
	// that the group does not delete them a second time.
	while (!fChildren.empty()) {
		BView* child = fChildren.back();
		fChildren.pop_back();
		child->fParent = nullptr;
		delete child;
	}
	delete fWidget;
	fWidget = nullptr;
}


void
BView::AttachedToWindow()
{
}


void
BView::DetachedFromWindow()
{
}


void
BView::FrameMoved(BPoint newPosition)
{
}


void
BView::FrameResized(float newWidth, float newHeight)
{
}


void
BView::MessageReceived(BMessage* message)
{
	// What a view does not handle goes on to its window, as the platform
	// does with messages that reach a view.
	if (fWindow != nullptr) {
		fWindow->MessageReceived(message);
		return;
	}
	BHandler::MessageReceived(message);
}


void
BView::AddChild(BView* child, BView* before)
{
	if (child == nullptr || child == this || child->fParent != nullptr
		|| child->fWindow != nullptr)
		return;
	if (fContainer == nullptr)
		return;

	ToolkitLocker locker;
	auto position = std::find(fChildren.begin(), fChildren.end(), before);
	int widgetIndex = fContainer->children();
	if (position != fChildren.end())
		widgetIndex = fContainer->find((*position)->fWidget);
	fChildren.insert(position, child);
	child->fParent = this;
	fContainer->insert(*child->fWidget, widgetIndex);

	child->_UpdateGeometry();
	child->_UpdateColor();
	if (fWindow != nullptr)
		child->_Attach(fWindow);
	fContainer->redraw();
}


bool
BView::RemoveChild(BView* child)
{
	if (child == nullptr || child->fParent != this)
		return false;
	ToolkitLocker locker;
	if (child->fWindow != nullptr)
		child->_Detach();
	fChildren.erase(std::find(fChildren.begin(), fChildren.end(), child));
	child->fParent = nullptr;
	if (fContainer != nullptr) {
		fContainer->remove(child->fWidget);
		fContainer->redraw();
	}
	child->_UpdateGeometry();
	child->_UpdateColor();
	return true;
}


bool
BView::RemoveSelf()
{
	if (fParent != nullptr)
		return fParent->RemoveChild(this);
	if (fWindow != nullptr)
		return fWindow->RemoveChild(this);
	return false;
}


int32
BView::CountChildren() const
{
	return (int32)fChildren.size();
}


BView*
BView::ChildAt(int32 index) const
{
	if (index < 0 || index >= (int32)fChildren.size())
		return nullptr;
	return fChildren[index];
}


BView*
BView::FindView(const char* name) const
{
	if (name == nullptr)
		return nullptr;
	if (strcmp(Name(), name) == 0)
		return const_cast<BView*>(this);
	for (BView* child : fChildren) {
		if (BView* found = child->FindView(name))
			return found;
	}
	return nullptr;
}


BRect
BView::Bounds() const
{
	return BRect(0, 0, fFrame.Width(), fFrame.Height());
}


void
BView::MoveTo(BPoint where)
{
	MoveTo(where.x, where.y);
}


void
BView::MoveTo(float x, float y)
{
	MoveBy(x - fFrame.left, y - fFrame.top);
}


void
BView::MoveBy(float dx, float dy)
{
	if (dx == 0 && dy == 0)
		return;
	ToolkitLocker locker;
	fFrame.OffsetBy(dx, dy);
	_UpdateGeometry();
	if (fParent != nullptr && fParent->fContainer != nullptr)
		fParent->fContainer->redraw();
	if ((fFlags & B_FRAME_EVENTS) != 0)
		FrameMoved(fFrame.LeftTop());
}


void
BView::ResizeTo(float width, float height)
{
	ResizeBy(width - fFrame.Width(), height - fFrame.Height());
}


void
BView::ResizeBy(float dw, float dh)
{
	if (dw == 0 && dh == 0)
		return;
	ToolkitLocker locker;
	fFrame.right += dw;
	fFrame.bottom += dh;
	for (BView* child : fChildren)
		child->_ParentResized(dw, dh);
	_UpdateGeometry();
	if (fParent != nullptr && fParent->fContainer != nullptr)
		fParent->fContainer->redraw();
	if ((fFlags & B_FRAME_EVENTS) != 0)
		FrameResized(fFrame.Width(), fFrame.Height());
}


// Moves the edges of this view as its resizing mode says, after the parent
// grew by dw and dh.
void
BView::_ParentResized(float dw, float dh)
{
	auto shift = [](uint32 rule, float delta) -> float {
		switch (rule) {
			case _VIEW_BOTTOM_:
			case _VIEW_RIGHT_:
				return delta;
			case _VIEW_CENTER_:
				return delta / 2;
			default:
				return 0;
		}
	};
	uint32 mode = fResizingMode;
	float top = shift((mode >> 12) & 0xf, dh);
	float left = shift((mode >> 8) & 0xf, dw);
	float bottom = shift((mode >> 4) & 0xf, dh);
	float right = shift(mode & 0xf, dw);

	BRect frame(fFrame.left + left, fFrame.top + top, fFrame.right + right,
		fFrame.bottom + bottom);
	float childDw = frame.Width() - fFrame.Width();
	float childDh = frame.Height() - fFrame.Height();
	bool moved = frame.LeftTop() != fFrame.LeftTop();
	fFrame = frame;
	if (childDw != 0 || childDh != 0) {
		for (BView* child : fChildren)
			child->_ParentResized(childDw, childDh);
	}
	_UpdateGeometry();
	if ((fFlags & B_FRAME_EVENTS) != 0) {
		if (moved)
			FrameMoved(fFrame.LeftTop());
		if (childDw != 0 || childDh != 0)
			FrameResized(fFrame.Width(), fFrame.Height());
	}
}


void
BView::SetResizingMode(uint32 mode)
{
	fResizingMode = mode;
}


void
BView::SetFlags(uint32 flags)
{
	fFlags = flags;
}


void
BView::SetViewColor(rgb_color color)
{
	ToolkitLocker locker;
	fViewColor = color;
	fHasViewColor = true;
	_UpdateColor();
}


void
BView::SetViewColor(uint8 red, uint8 green, uint8 blue, uint8 alpha)
{
	SetViewColor(make_color(red, green, blue, alpha));
}


rgb_color
BView::ViewColor() const
{
	return EffectiveViewColor();
}


rgb_color
BView::EffectiveViewColor() const
{
	if (fHasViewColor)
		return fViewColor;
	if (fParent != nullptr)
		return fParent->EffectiveViewColor();
	return fViewColor;
}


void
BView::ApplyViewColor(rgb_color color)
{
	fWidget->color(ToolkitColor(color));
}


// Paints this view and the children that show its colour.
void
BView::_UpdateColor()
{
	ApplyViewColor(EffectiveViewColor());
	fWidget->redraw();
	for (BView* child : fChildren) {
		if (!child->fHasViewColor)
			child->_UpdateColor();
	}
}


void
BView::SetFontSize(float size)
{
	if (size <= 0)
		return;
	ToolkitLocker locker;
	fFontSize = size;
	fWidget->labelsize(Pixel(size));
	LayoutWidget();
	fWidget->redraw();
}


float
BView::StringWidth(const char* text) const
{
	if (text == nullptr)
		return 0;
	if (open_display() != B_OK)
		return 0;
	ToolkitLocker locker;
	fl_font(fWidget->labelfont(), Pixel(fFontSize));
	return (float)fl_width(text);
}


void
BView::Invalidate()
{
	ToolkitLocker locker;
	fWidget->redraw();
	if (fContainer != nullptr && fContainer != fWidget)
		fContainer->redraw();
}


void
BView::Invalidate(BRect rect)
{
	Invalidate();
}


void
BView::MakeFocus(bool focus)
{
	ToolkitLocker locker;
	Fl_Widget* widget = FocusWidget();
	if (focus) {
		widget->take_focus();
		return;
	}
	if (Fl::focus() == widget)
		Fl::focus(nullptr);
}


bool
BView::IsFocus() const
{
	ToolkitLocker locker;
	return Fl::focus() != nullptr && Fl::focus() == FocusWidget();
}


void
BView::Show()
{
	ToolkitLocker locker;
	fHidden = false;
	fWidget->show();
}


void
BView::Hide()
{
	ToolkitLocker locker;
	fHidden = true;
	fWidget->hide();
}


bool
BView::IsHidden() const
{
	return fHidden;
}


BPoint
BView::ConvertToScreen(BPoint point) const
{
	BPoint origin = _WindowOrigin();
	point += origin;
	if (fWindow != nullptr)
		point += fWindow->Frame().LeftTop();
	return point;
}


BRect
BView::ConvertToScreen(BRect rect) const
{
	BPoint leftTop = ConvertToScreen(rect.LeftTop());
	rect.OffsetTo(leftTop);
	return rect;
}


void
BView::LayoutWidget()
{
}


void
BView::_Attach(BWindow* window)
{
	fWindow = window;
	window->AddHandler(this);
	for (BView* child : fChildren)
		child->_Attach(window);
	AttachedToWindow();
}


void
BView::_Detach()
{
	DetachedFromWindow();
	for (BView* child : fChildren)
		child->_Detach();
	if (fWindow != nullptr)
		fWindow->RemoveHandler(this);
	fWindow = nullptr;
}


BPoint
BView::_WindowOrigin() const
{
	BPoint origin = fFrame.LeftTop();
	if (fParent != nullptr)
		origin += fParent->_WindowOrigin();
	return origin;
}


// The toolkit places every widget in window coordinates, so a view's widget
// and all its descendants' follow any change of its frame.
void
BView::_UpdateGeometry()
{
	BPoint origin = _WindowOrigin();
	int x = Pixel(origin.x);
	int y = Pixel(origin.y);
	int width = std::max(0, Pixel(origin.x + fFrame.Width()) - x);
	int height = std::max(0, Pixel(origin.y + fFrame.Height()) - y);
	// The plain widget call: a group must not move its children itself.
	fWidget->Fl_Widget::resize(x, y, width, height);
	LayoutWidget();
	fWidget->redraw();
	for (BView* child : fChildren)
		child->_UpdateGeometry();
}


void
BView::SetContainer(Fl_Group* container)
{
	fContainer = container;
	if (fContainer != nullptr)
		fContainer->resizable(nullptr);
}
