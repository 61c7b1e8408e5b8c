#ifndef TAG_TABLE_H
#define TAG_TABLE_H

#include <SupportDefs.h>

#include <string>
#include <vector>

class ReadHistory;
class TagFile;

// The rows of the window's table of tags: one per line of a tag, with the
// name, when it may open in words, and when it was last read and what came
// of it; narrowed by a search text and sorted. A tag listed twice has a row
// for each line, the later ones marked as not counting, right after the
// one that counts. The named sets of hours come first, whatever the order.
class TagTable {
public:
	enum Column {
		kTagColumn,
		kNameColumn,
		kWhenColumn,
		kLastSeenColumn,
		kOutcomeColumn,
	};

	struct Row {
		std::string	tag;
		std::string	name;
		std::string	when;
		std::string	lastSeen;		// "2026-12-08 10:14", or empty
		std::string	outcome;
		int64		lastSeenTime = 0;	// 0: never read
		bool		usable = true;		// false: the line lets it in never
		bool		isSet = false;		// a named set of hours: "@staff"
		int			line = 0;			// its line in the list
		// false: an earlier line lists the same tag (or defines the same
		// set), and this one does not count.
		bool		counts = true;
	};

	// Takes the list and the reads afresh, keeping search and order.
			void			Fill(const TagFile& file,
								const ReadHistory& history);
	// Case-insensitive, in the tag or the name; empty shows all.
			void			SetSearch(const std::string& text);
	// By name (then tag) or by tag: A to Z when ascending; by last seen:
	// the latest first when not ascending, never read last.
			void			SortBy(Column column, bool ascending);
			Column			SortColumn() const { return fSortColumn; }
			bool			SortAscending() const { return fAscending; }

	// The rows to show.
			const std::vector<Row>& Rows() const { return fShown; }
	// Every row, unfiltered and unsorted: the columns fit all of them, so
	// that they stay put while the operator searches.
			const std::vector<Row>& AllRows() const { return fAll; }
			size_t			CountAll() const { return fAll.size(); }

private:
			void			_Update();

			std::vector<Row> fAll;
			std::vector<Row> fShown;
			std::string		fSearch;
			Column			fSortColumn = kNameColumn;
			bool			fAscending = true;
};

#endif
