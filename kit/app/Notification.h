#ifndef _NOTIFICATION_H
#define _NOTIFICATION_H

#include <Messenger.h>
#include <OS.h>

#include <string>
#include <utility>
#include <vector>

enum notification_type {
	B_INFORMATION_NOTIFICATION,
	B_IMPORTANT_NOTIFICATION,
	B_ERROR_NOTIFICATION,
	B_PROGRESS_NOTIFICATION,
};

// What the action target hears when the person chose one of a
// notification's actions: the action's id and the notification's message
// id (empty when it has none).
enum {
	B_NOTIFICATION_ACTION_INVOKED = 'nfAI',
};
#define B_NOTIFICATION_ACTION "be:action"
#define B_NOTIFICATION_MESSAGE_ID "be:message_id"

// A notification on the desktop, shown by the session's notification
// service (org.freedesktop.Notifications over D-Bus, through GIO, which is
// loaded with the first one sent). Where there is no session bus or no
// such service, Send() does nothing and says nothing: what the desk sees
// is told, never asked, and nothing waits for it.
//
//	BNotification notification(B_IMPORTANT_NOTIFICATION);
//	notification.SetGroup("RDX door");
//	notification.SetTitle("front: forced open");
//	notification.SetContent("The door front was opened while locked.");
//	notification.AddAction("show-log", "Show the log");
//	notification.SetActionTarget(BMessenger(window));
//	notification.Send();
class BNotification {
public:
							BNotification(notification_type type);
							~BNotification();

			notification_type Type() const { return fType; }

	// The application's name as the desktop shows it; the program's name
	// when none is set.
			const char*		Group() const { return fGroup.c_str(); }
			void			SetGroup(const char* group);
			const char*		Title() const { return fTitle.c_str(); }
			void			SetTitle(const char* title);
			const char*		Content() const { return fContent.c_str(); }
			void			SetContent(const char* content);
	// A notification sent with the message id of an earlier one replaces
	// it on the desk instead of adding another.
			const char*		MessageID() const { return fMessageID.c_str(); }
			void			SetMessageID(const char* id);

	// An action the person may choose, by its id and the label shown.
			status_t		AddAction(const char* id, const char* label);
			int32			CountActions() const
								{ return (int32)fActions.size(); }
			const char*		ActionID(int32 index) const;
			const char*		ActionLabel(int32 index) const;
	// Where B_NOTIFICATION_ACTION_INVOKED goes when an action is chosen.
			void			SetActionTarget(const BMessenger& target);

	// Hands the notification to a thread of the platform's own and
	// returns at once; timeout is how long it stays, -1 for the desktop's
	// own choice. B_BAD_VALUE for one without a title.
			status_t		Send(bigtime_t timeout = -1);

private:
			notification_type fType;
			std::string		fGroup;
			std::string		fTitle;
			std::string		fContent;
			std::string		fMessageID;
			std::vector<std::pair<std::string, std::string>> fActions;
			BMessenger		fTarget;
};

#endif
