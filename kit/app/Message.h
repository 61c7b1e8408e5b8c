#ifndef _MESSAGE_H
#define _MESSAGE_H

#include <AppDefs.h>
#include <SupportDefs.h>

#include <string>
#include <variant>
#include <vector>

// A message: a 32-bit code and named, typed fields; a name may hold several
// values of one type. Fields keep the order in which they were first added.
class BMessage {
public:
	// The largest flattened message that Unflatten() accepts.
	static const size_t kMaxFlattenedSize = 64 * 1024;

							BMessage();
							BMessage(uint32 what);
							BMessage(const BMessage& other);
							~BMessage();

			BMessage&		operator=(const BMessage& other);

			uint32			what;

			status_t		AddString(const char* name, const char* string);
			status_t		AddInt32(const char* name, int32 value);
			status_t		AddBool(const char* name, bool value);

			status_t		FindString(const char* name, const char** string) const;
			status_t		FindString(const char* name, int32 index,
								const char** string) const;
			status_t		FindInt32(const char* name, int32* value) const;
			status_t		FindInt32(const char* name, int32 index,
								int32* value) const;
			status_t		FindBool(const char* name, bool* value) const;
			status_t		FindBool(const char* name, int32 index,
								bool* value) const;

			bool			HasString(const char* name, int32 index = 0) const;
			bool			HasInt32(const char* name, int32 index = 0) const;
			bool			HasBool(const char* name, int32 index = 0) const;

			int32			CountNames(type_code type = B_ANY_TYPE) const;
			status_t		GetInfo(const char* name, type_code* type,
								int32* count = nullptr) const;
			bool			IsEmpty() const { return fFields.empty(); }
			status_t		MakeEmpty();

			// Writes the message to standard output in the platform's dump
			// format.
			void			PrintToStream() const;

			// The flattened form: "RDXM", a version byte, the code, then each
			// field with its type, name and values, integers little-endian.
			ssize_t			FlattenedSize() const;
			status_t		Flatten(char* buffer, ssize_t size) const;
			std::string		Flatten() const;
			// Replaces this message with the flattened one; any byte string
			// that is not exactly one well-formed message gives B_BAD_DATA
			// and leaves this message empty.
			status_t		Unflatten(const char* buffer, size_t size);

private:
	typedef std::variant<std::string, int32, bool> Value;

	struct Field {
		std::string			name;
		type_code			type;
		std::vector<Value>	values;
	};

			const Field*	FindField(const char* name, type_code type) const;
			status_t		AddValue(const char* name, type_code type,
								Value value);

			std::vector<Field> fFields;
};

#endif
