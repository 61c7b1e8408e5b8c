#ifndef _CONTROL_H
#define _CONTROL_H

#include <Invoker.h>
#include <View.h>

#include <string>

// A view the operator uses: it has a label and a value and sends its
// message (a copy) to its target when the operator changes it. Values,
// labels and the enabled state set from code send nothing.
class BControl : public BView, public BInvoker {
public:
							BControl(BRect frame, const char* name,
								const char* label, BMessage* message,
								uint32 resizingMode, uint32 flags);
	virtual					~BControl();

	virtual	void			SetLabel(const char* label);
			const char*		Label() const { return fLabel.c_str(); }

	virtual	void			SetValue(int32 value);
			int32			Value() const { return fValue; }

	virtual	void			SetEnabled(bool enabled);
			bool			IsEnabled() const { return fEnabled; }

	virtual	status_t		Invoke(BMessage* message = nullptr);

protected:
							BControl(BRect frame, const char* name,
								const char* label, BMessage* message,
								uint32 resizingMode, uint32 flags,
								Fl_Widget* widget, Fl_Group* container);

	virtual	BHandler*		DefaultTarget() const;
	// Sets the value as the operator did; the caller then invokes.
			void			SetValueNoUpdate(int32 value) { fValue = value; }

private:
			std::string		fLabel;
			int32			fValue = 0;
			bool			fEnabled = true;
};

#endif
