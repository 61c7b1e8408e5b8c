// The interface kit's list, field and alert as a program uses them: one
// window with a column list view of three rows, a search field that sends
// a message on every change, and a button that opens an alert. It prints
// every message its window receives, with the fields the tests look at.

#include <Alert.h>
#include <Application.h>
#include <Button.h>
#include <ColumnListView.h>
#include <Message.h>
#include <TextControl.h>
#include <View.h>
#include <Window.h>

#include <cstdio>

namespace {

class ListWindow : public BWindow {
public:
	ListWindow()
		:
		BWindow(BRect(40, 40, 440, 300), "ListDemo", B_TITLED_WINDOW,
			B_NOT_RESIZABLE)
	{
		BView* back = new BView(Bounds(), "back", B_FOLLOW_ALL, B_WILL_DRAW);
		AddChild(back);
		fField = new BTextControl(BRect(10, 10, 200, 34), "field", "Find:",
			"", nullptr);
		fField->SetModificationMessage(new BMessage('modi'));
		back->AddChild(fField);
		back->AddChild(new BButton(BRect(290, 10, 390, 34), "ask", "Ask",
			new BMessage('ask ')));

		// Rows 20 high under a 22 high title row, from y 40.
		BColumnListView* list = new BColumnListView(BRect(10, 40, 390, 250),
			"list");
		list->AddColumn("Tag", 120);
		list->AddColumn("Name", 200);
		list->AddRow({"04A1B2C3", "spare card"});
		list->AddRow({"0014594826", "front desk"});
		list->AddRow({"@staff", "set"});
		list->SetSelectionMessage(new BMessage('sele'));
		list->SetInvocationMessage(new BMessage('invo'));
		list->SetRemovalMessage(new BMessage('remo'));
		list->SetSortMessage(new BMessage('sort'));
		back->AddChild(list);
	}

	void MessageReceived(BMessage* message) override
	{
		int32 value = -1;
		switch (message->what) {
			case 'modi':
				printf("modified '%s'\n", fField->Text());
				break;
			case 'sele':
			case 'invo':
			case 'remo':
				message->FindInt32("index", &value);
				printf("%s %d\n", message->what == 'sele' ? "selected"
					: message->what == 'invo' ? "invoked" : "remove",
					(int)value);
				break;
			case 'sort':
				message->FindInt32("column", &value);
				printf("sort %d\n", (int)value);
				break;
			case 'ask ':
			{
				BAlert* alert = new BAlert("Question", "Remove it?", "Cancel",
					"Remove");
				alert->SetShortcut(0, B_ESCAPE);
				alert->Go(new BInvoker(new BMessage('answ'), this));
				break;
			}
			case 'answ':
				message->FindInt32("which", &value);
				printf("answer %d\n", (int)value);
				break;
			default:
				BWindow::MessageReceived(message);
		}
		fflush(stdout);
	}

	bool QuitRequested() override
	{
		be_app->PostMessage(B_QUIT_REQUESTED);
		return true;
	}

private:
	BTextControl*	fField;
};

}	// namespace


int
main()
{
	BApplication application("application/x-vnd-RDX-ListDemo");
	(new ListWindow())->Show();
	application.Run();
	return 0;
}
