#ifndef RDX_WINDOW_H
#define RDX_WINDOW_H

#include <Window.h>

#include <memory>

class BBox;
class BButton;
class BCheckBox;
class BRadioButton;
class BStringView;
class BTextControl;
class BView;
class Prefs;

// The one window: board use, the board's address, the relay used by tags,
// the hold-open time, "open all relay", and the two page buttons. It owns the
// settings record and keeps controls, settings and relay colours in step.
class RDXWindow : public BWindow {
public:
							RDXWindow(BRect frame);
	virtual					~RDXWindow();

	virtual	void			MessageReceived(BMessage* message);
	virtual	bool			QuitRequested();
	virtual	void			FrameMoved(BPoint newPosition);
	virtual	void			FrameResized(float newWidth, float newHeight);

	virtual	void			AddOptionalByWinKey(BMessage* message);
	virtual	void			Add_RDX_Gui(BRect rect, BView* parent);
	virtual	void			RdxOpenDoor(BMessage* message);
	virtual	void			OpenPage(BMessage* message);

private:
			void			_HandleCloseReport(BMessage* message);

			std::unique_ptr<Prefs> prefs;
			BView*			backView = nullptr;
			BBox*			relayBox = nullptr;
			BButton*		openAllButton = nullptr;
			BCheckBox*		useCheckBox = nullptr;
			BTextControl*	ipControl = nullptr;
			BTextControl*	closeAfterControl = nullptr;
			BRadioButton*	relayButtons[4] = {};
			BStringView*	tagsLabel = nullptr;
			BButton*		browserButton = nullptr;
			BButton*		ownerButton = nullptr;
};

#endif
