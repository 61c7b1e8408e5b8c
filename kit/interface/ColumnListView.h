#ifndef _COLUMN_LIST_VIEW_H
#define _COLUMN_LIST_VIEW_H

#include <Invoker.h>
#include <View.h>

#include <memory>
#include <string>
#include <vector>

class BMessage;

namespace BPrivate {
class ColumnTable;
}

// A table of text rows under titled columns, with one selected row at most.
// It shows what it is given in the order it is given: sorting and filtering
// are the caller's, who hears of a click on a column's title and fills the
// rows again.
//
// Messages go to the target (default: the window), each a copy with the
// field "index" (int32, the row; -1 for none) or "column" (int32):
// - the selection message when the operator selects a row (click, arrow
//   keys),
// - the invocation message on a double click or Enter on a row,
// - the removal message on Delete or Backspace while the list has the
//   focus and a row is selected,
// - the sort message on a click on a column's title.
// Rows and the selection set from code send nothing.
class BColumnListView : public BView, public BInvoker {
public:
							BColumnListView(BRect frame, const char* name,
								uint32 resizingMode = B_FOLLOW_ALL,
								uint32 flags = B_WILL_DRAW | B_NAVIGABLE
									| B_FRAME_EVENTS);
	virtual					~BColumnListView();

			void			AddColumn(const char* title, float width);
			int32			CountColumns() const;
	// The last column takes what is left of the width, but never less
	// than its own: the table scrolls sideways instead.
			void			SetColumnWidth(int32 column, float width);
	// A mark after the title ("▲") of the column the rows are sorted by;
	// -1 for none.
			void			SetSortColumn(int32 column, bool ascending);

	// A row's texts, one per column; missing ones are empty. A text with
	// line breaks is shown on as many lines, the row as high as it needs.
			void			AddRow(const std::vector<std::string>& fields);
	// Shows the row in the colour (a marked row, say), instead of the
	// text colour.
			void			SetRowColor(int32 index, rgb_color color);
			void			Clear();
			int32			CountRows() const;
			const std::string& FieldAt(int32 row, int32 column) const;

	// -1 when none is selected.
			int32			CurrentSelection() const;
			void			Select(int32 index);
			void			DeselectAll();
			void			ScrollToSelection();

			void			SetSelectionMessage(BMessage* message);
			void			SetInvocationMessage(BMessage* message);
			void			SetRemovalMessage(BMessage* message);
			void			SetSortMessage(BMessage* message);

protected:
	virtual	void			LayoutWidget();
	virtual	BHandler*		DefaultTarget() const;

private:
	friend class BPrivate::ColumnTable;

			void			_Send(const std::unique_ptr<BMessage>& message,
								const char* field, int32 value);

			BPrivate::ColumnTable* fTable;
			std::unique_ptr<BMessage> fSelectionMessage;
			std::unique_ptr<BMessage> fInvocationMessage;
			std::unique_ptr<BMessage> fRemovalMessage;
			std::unique_ptr<BMessage> fSortMessage;
};

#endif
