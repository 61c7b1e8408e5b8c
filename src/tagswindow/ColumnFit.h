#ifndef COLUMN_FIT_H
#define COLUMN_FIT_H

#include <functional>
#include <string>
#include <vector>

// The widths of a table's columns, from the texts they show, so that no
// word is cut: every column is as wide as its longest text where the table
// has room. Where it has not, the columns that may wrap share what is
// left, each at least as wide as its longest word, and their texts are
// broken into lines between words. What the table cannot hold even so it
// shows beside a scroll bar, never cut.
class ColumnFit {
public:
	// The width of a text as the table draws it.
	typedef std::function<float(const std::string&)> Measure;

							ColumnFit(const Measure& measure, float padding);

			void			AddColumn(const std::string& title, bool wraps);
	// Takes the widths for the rows' texts in a table of the width.
			void			Fit(const std::vector<std::vector<std::string>>&
									rows, float width);
			float			Width(size_t column) const;
	// The row's texts with a line break wherever its column wraps them.
			std::vector<std::string> Wrapped(
								const std::vector<std::string>& fields) const;

	// The text in lines no wider than the width, broken between words; a
	// word wider than that stands alone on its line.
	static	std::vector<std::string> Lines(const std::string& text,
								float width, const Measure& measure);

private:
	struct Column {
		std::string	title;
		bool		wraps;
		float		width;
	};

			Measure			fMeasure;
			float			fPadding;
			std::vector<Column> fColumns;
};

#endif
