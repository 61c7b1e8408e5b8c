#include <ColumnListView.h>

#include <Message.h>
#include <Window.h>

#include "Toolkit.h"

#include <FL/Fl_Table.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <optional>

using namespace BPrivate;

namespace BPrivate {

// The text as it is: the toolkit would take "@" for the start of a symbol.
static std::string
Literal(const std::string& text)
{
	std::string literal;
	for (char c : text) {
		literal += c;
		if (c == '@')
			literal += '@';
	}
	return literal;
}


// The toolkit's table, drawing the rows it is given and keeping the one
// selection itself, so that only the operator's doings send messages.
class ColumnTable : public Fl_Table {
public:
	ColumnTable(int x, int y, int width, int height)
		:
		Fl_Table(x, y, width, height)
	{
		col_header(1);
		col_resize(1);
		row_header(0);
		col_header_height(22);
		row_height_all(20);
		visible_focus(1);
		box(FL_DOWN_FRAME);
		color(FL_WHITE);
		selection_color(fl_rgb_color(150, 180, 220));
		when(FL_WHEN_NEVER);
		end();
	}

	void SetOwner(BColumnListView* owner) { fOwner = owner; }

	struct Column {
		std::string	title;
		int			width;
	};

	std::vector<Column>					columns;
	std::vector<std::vector<std::string>> data;
	std::vector<std::optional<Fl_Color>> colors;
	int									selected = -1;
	int									sortColumn = -1;
	bool								ascending = true;
	int									fontSize = 12;

	void SetSelected(int row)
	{
		selected = row >= 0 && row < (int)data.size() ? row : -1;
		redraw();
	}

	void ShowRow(int row)
	{
		if (row < 0)
			return;
		int top, bottom, left, right;
		visible_cells(top, bottom, left, right);
		if (row <= top)
			row_position(row);
		else if (row >= bottom)
			row_position(std::max(0, row - (bottom - top) + 1));
	}

	int handle(int event) override
	{
		switch (event) {
			case FL_FOCUS:
			case FL_UNFOCUS:
				redraw();
				return 1;
			case FL_PUSH:
				return _Push() ? 1 : Fl_Table::handle(event);
			case FL_KEYBOARD:
				if (Fl::focus() == this && _Key())
					return 1;
				break;
		}
		return Fl_Table::handle(event);
	}

protected:
	void draw_cell(TableContext context, int row, int column, int x, int y,
		int width, int height) override
	{
		switch (context) {
			case CONTEXT_STARTPAGE:
				fl_font(kDefaultFont, fontSize);
				return;
			case CONTEXT_COL_HEADER:
			{
				fl_push_clip(x, y, width, height);
				fl_draw_box(FL_THIN_UP_BOX, x, y, width, height,
					FL_BACKGROUND_COLOR);
				fl_color(FL_FOREGROUND_COLOR);
				std::string title = columns[column].title;
				if (column == sortColumn)
					title += ascending ? " \xe2\x96\xb2" : " \xe2\x96\xbc";
				fl_draw(Literal(title).c_str(), x + 4, y, width - 8, height,
					FL_ALIGN_LEFT | FL_ALIGN_CLIP);
				fl_pop_clip();
				return;
			}
			case CONTEXT_CELL:
			{
				fl_push_clip(x, y, width, height);
				bool chosen = row == selected;
				fl_color(chosen ? (Fl::focus() == this ? selection_color()
					: fl_lighter(selection_color())) : FL_WHITE);
				fl_rectf(x, y, width, height);
				Fl_Color text = FL_FOREGROUND_COLOR;
				if (row < (int)colors.size() && colors[row])
					text = *colors[row];
				fl_color(text);
				const std::vector<std::string>& fields = data[row];
				if (column < (int)fields.size()) {
					fl_draw(Literal(fields[column]).c_str(), x + 4, y,
						width - 8, height, FL_ALIGN_LEFT | FL_ALIGN_CLIP);
				}
				fl_color(fl_rgb_color(230, 230, 230));
				fl_line(x, y + height - 1, x + width - 1, y + height - 1);
				fl_pop_clip();
				return;
			}
			default:
				return;
		}
	}

private:
	bool _Push()
	{
		int row, column;
		ResizeFlag resize;
		TableContext context = cursor2rowcol(row, column, resize);
		if (context == CONTEXT_COL_HEADER && resize == RESIZE_NONE) {
			fOwner->_Send(fOwner->fSortMessage, "column", column);
			return true;
		}
		if (context != CONTEXT_CELL)
			return false;
		if (Fl::focus() != this)
			take_focus();
		if (row != selected) {
			SetSelected(row);
			fOwner->_Send(fOwner->fSelectionMessage, "index", row);
		}
		if (Fl::event_clicks() > 0)
			fOwner->_Send(fOwner->fInvocationMessage, "index", row);
		return true;
	}

	bool _Key()
	{
		int key = Fl::event_key();
		int count = (int)data.size();
		if (key == FL_Up || key == FL_Down || key == FL_Home
			|| key == FL_End) {
			if (count == 0)
				return true;
			int row = selected;
			if (key == FL_Up)
				row = row < 0 ? count - 1 : std::max(0, row - 1);
			else if (key == FL_Down)
				row = std::min(count - 1, row + 1);
			else
				row = key == FL_Home ? 0 : count - 1;
			if (row != selected) {
				SetSelected(row);
				ShowRow(row);
				fOwner->_Send(fOwner->fSelectionMessage, "index", row);
			}
			return true;
		}
		if ((key == FL_Enter || key == FL_KP_Enter) && selected >= 0) {
			fOwner->_Send(fOwner->fInvocationMessage, "index", selected);
			return true;
		}
		if ((key == FL_Delete || key == FL_BackSpace) && selected >= 0) {
			fOwner->_Send(fOwner->fRemovalMessage, "index", selected);
			return true;
		}
		return false;
	}

	BColumnListView* fOwner = nullptr;
};

}	// namespace BPrivate


BColumnListView::BColumnListView(BRect frame, const char* name,
	uint32 resizingMode, uint32 flags)
	:
	BView(frame, name, resizingMode, flags,
		NewWidget<ColumnTable>(0, 0, 10, 10), nullptr),
	fTable(static_cast<ColumnTable*>(Widget()))
{
	ToolkitLocker locker;
	fTable->SetOwner(this);
	fTable->fontSize = Pixel(FontSize());
	LayoutWidget();
}


BColumnListView::~BColumnListView()
{
}


void
BColumnListView::AddColumn(const char* title, float width)
{
	ToolkitLocker locker;
	fTable->columns.push_back({title != nullptr ? title : "", Pixel(width)});
	fTable->cols((int)fTable->columns.size());
	LayoutWidget();
}


int32
BColumnListView::CountColumns() const
{
	return (int32)fTable->columns.size();
}


void
BColumnListView::SetColumnWidth(int32 column, float width)
{
	ToolkitLocker locker;
	if (column < 0 || column >= (int32)fTable->columns.size())
		return;
	fTable->columns[column].width = Pixel(width);
	LayoutWidget();
	fTable->redraw();
}


void
BColumnListView::SetSortColumn(int32 column, bool ascending)
{
	ToolkitLocker locker;
	fTable->sortColumn = column;
	fTable->ascending = ascending;
	fTable->redraw();
}


void
BColumnListView::AddRow(const std::vector<std::string>& fields)
{
	ToolkitLocker locker;
	fTable->data.push_back(fields);
	fTable->colors.emplace_back();
	fTable->rows((int)fTable->data.size());
	int lines = 1;
	for (const std::string& field : fields)
		lines = std::max(lines, 1 + (int)std::count(field.begin(),
			field.end(), '\n'));
	int size = Pixel(FontSize());
	fTable->row_height((int)fTable->data.size() - 1,
		size + 8 + (lines - 1) * (size + 3));
	fTable->redraw();
}


void
BColumnListView::SetRowColor(int32 index, rgb_color color)
{
	ToolkitLocker locker;
	if (index < 0 || index >= (int32)fTable->colors.size())
		return;
	fTable->colors[index] = ToolkitColor(color);
	fTable->redraw();
}


void
BColumnListView::Clear()
{
	ToolkitLocker locker;
	fTable->data.clear();
	fTable->colors.clear();
	fTable->selected = -1;
	fTable->rows(0);
	fTable->redraw();
}


int32
BColumnListView::CountRows() const
{
	return (int32)fTable->data.size();
}


const std::string&
BColumnListView::FieldAt(int32 row, int32 column) const
{
	static const std::string kNone;
	if (row < 0 || row >= (int32)fTable->data.size() || column < 0
		|| column >= (int32)fTable->data[row].size())
		return kNone;
	return fTable->data[row][column];
}


int32
BColumnListView::CurrentSelection() const
{
	return fTable->selected;
}


void
BColumnListView::Select(int32 index)
{
	ToolkitLocker locker;
	fTable->SetSelected(index);
}


void
BColumnListView::DeselectAll()
{
	Select(-1);
}


void
BColumnListView::ScrollToSelection()
{
	ToolkitLocker locker;
	fTable->ShowRow(fTable->selected);
}


void
BColumnListView::SetSelectionMessage(BMessage* message)
{
	fSelectionMessage.reset(message);
}


void
BColumnListView::SetInvocationMessage(BMessage* message)
{
	fInvocationMessage.reset(message);
}


void
BColumnListView::SetRemovalMessage(BMessage* message)
{
	fRemovalMessage.reset(message);
}


void
BColumnListView::SetSortMessage(BMessage* message)
{
	fSortMessage.reset(message);
}


// The view's geometry reaches the table through its own resize, so that
// its scroll bars follow; the last column takes what is left of the width.
void
BColumnListView::LayoutWidget()
{
	if (fTable == nullptr)
		return;
	fTable->Fl_Table::resize(fTable->x(), fTable->y(), fTable->w(),
		fTable->h());
	fTable->fontSize = Pixel(FontSize());
	int used = 0;
	int count = (int)fTable->columns.size();
	for (int i = 0; i < count; i++) {
		int width = fTable->columns[i].width;
		// Room for the frame and a vertical scroll bar.
		if (i == count - 1)
			width = std::max(width, fTable->w() - 4 - used - 18);
		fTable->col_width(i, width);
		used += width;
	}
}


BHandler*
BColumnListView::DefaultTarget() const
{
	return Window();
}


void
BColumnListView::_Send(const std::unique_ptr<BMessage>& message,
	const char* field, int32 value)
{
	if (message == nullptr)
		return;
	BMessage copy(*message);
	copy.AddInt32(field, value);
	Invoke(&copy);
}
