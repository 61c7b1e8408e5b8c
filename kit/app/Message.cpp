#include <Message.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

const char kMagic[4] = {'R', 'D', 'X', 'M'};
const uint8 kVersion = 1;
const size_t kMaxNameLength = 255;


void
put_uint32(std::string& out, uint32 value)
{
	for (int i = 0; i < 4; i++)
		out.push_back((char)((value >> (8 * i)) & 0xff));
}


void
put_uint16(std::string& out, uint16 value)
{
	out.push_back((char)(value & 0xff));
	out.push_back((char)(value >> 8));
}


// Reads the flattened form with bounds checks on every step.
class Reader {
public:
	Reader(const char* data, size_t size) : fData(data), fSize(size) {}

	bool Bytes(const char** out, size_t length)
	{
		if (length > fSize - fPos)
			return false;
		*out = fData + fPos;
		fPos += length;
		return true;
	}

	bool Uint8(uint8* out)
	{
		const char* bytes;
		if (!Bytes(&bytes, 1))
			return false;
		*out = (uint8)bytes[0];
		return true;
	}

	bool Uint16(uint16* out)
	{
		const char* bytes;
		if (!Bytes(&bytes, 2))
			return false;
		*out = (uint16)((uint8)bytes[0] | ((uint8)bytes[1] << 8));
		return true;
	}

	bool Uint32(uint32* out)
	{
		const char* bytes;
		if (!Bytes(&bytes, 4))
			return false;
		*out = 0;
		for (int i = 0; i < 4; i++)
			*out |= (uint32)(uint8)bytes[i] << (8 * i);
		return true;
	}

	size_t Left() const { return fSize - fPos; }

private:
	const char*	fData;
	size_t		fSize;
	size_t		fPos = 0;
};


void
print_code(uint32 code)
{
	char text[5];
	for (int i = 0; i < 4; i++) {
		char c = (char)((code >> (24 - 8 * i)) & 0xff);
		text[i] = (c >= 0x20 && c < 0x7f) ? c : '.';
	}
	text[4] = '\0';
	printf("%s", text);
}

}	// namespace


BMessage::BMessage()
	:
	what(0)
{
}


BMessage::BMessage(uint32 what)
	:
	what(what)
{
}


BMessage::BMessage(const BMessage& other) = default;
BMessage::~BMessage() = default;
BMessage& BMessage::operator=(const BMessage& other) = default;


const BMessage::Field*
BMessage::FindField(const char* name, type_code type) const
{
	if (name == nullptr)
		return nullptr;
	for (const Field& field : fFields) {
		if (field.name == name)
			return (type == B_ANY_TYPE || field.type == type) ? &field : nullptr;
	}
	return nullptr;
}


status_t
BMessage::AddValue(const char* name, type_code type, Value value)
{
	if (name == nullptr || name[0] == '\0' || strlen(name) > kMaxNameLength)
		return B_BAD_VALUE;
	for (Field& field : fFields) {
		if (field.name != name)
			continue;
		if (field.type != type)
			return B_BAD_TYPE;
		field.values.push_back(std::move(value));
		return B_OK;
	}
	fFields.push_back(Field{name, type, {std::move(value)}});
	return B_OK;
}


status_t
BMessage::AddString(const char* name, const char* string)
{
	if (string == nullptr)
		return B_BAD_VALUE;
	return AddValue(name, B_STRING_TYPE, std::string(string));
}


status_t
BMessage::AddInt32(const char* name, int32 value)
{
	return AddValue(name, B_INT32_TYPE, value);
}


status_t
BMessage::AddBool(const char* name, bool value)
{
	return AddValue(name, B_BOOL_TYPE, value);
}


status_t
BMessage::FindString(const char* name, const char** string) const
{
	return FindString(name, 0, string);
}


status_t
BMessage::FindString(const char* name, int32 index, const char** string) const
{
	const Field* field = FindField(name, B_ANY_TYPE);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (field->type != B_STRING_TYPE)
		return B_BAD_TYPE;
	if (index < 0 || (size_t)index >= field->values.size())
		return B_BAD_INDEX;
	if (string != nullptr)
		*string = std::get<std::string>(field->values[index]).c_str();
	return B_OK;
}


status_t
BMessage::FindInt32(const char* name, int32* value) const
{
	return FindInt32(name, 0, value);
}


status_t
BMessage::FindInt32(const char* name, int32 index, int32* value) const
{
	const Field* field = FindField(name, B_ANY_TYPE);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (field->type != B_INT32_TYPE)
		return B_BAD_TYPE;
	if (index < 0 || (size_t)index >= field->values.size())
		return B_BAD_INDEX;
	if (value != nullptr)
		*value = std::get<int32>(field->values[index]);
	return B_OK;
}


status_t
BMessage::FindBool(const char* name, bool* value) const
{
	return FindBool(name, 0, value);
}


status_t
BMessage::FindBool(const char* name, int32 index, bool* value) const
{
	const Field* field = FindField(name, B_ANY_TYPE);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (field->type != B_BOOL_TYPE)
		return B_BAD_TYPE;
	if (index < 0 || (size_t)index >= field->values.size())
		return B_BAD_INDEX;
	if (value != nullptr)
		*value = std::get<bool>(field->values[index]);
	return B_OK;
}


bool
BMessage::HasString(const char* name, int32 index) const
{
	return FindString(name, index, nullptr) == B_OK;
}


bool
BMessage::HasInt32(const char* name, int32 index) const
{
	return FindInt32(name, index, nullptr) == B_OK;
}


bool
BMessage::HasBool(const char* name, int32 index) const
{
	return FindBool(name, index, nullptr) == B_OK;
}


int32
BMessage::CountNames(type_code type) const
{
	int32 count = 0;
	for (const Field& field : fFields) {
		if (type == B_ANY_TYPE || field.type == type)
			count++;
	}
	return count;
}


status_t
BMessage::GetInfo(const char* name, type_code* type, int32* count) const
{
	const Field* field = FindField(name, B_ANY_TYPE);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (type != nullptr)
		*type = field->type;
	if (count != nullptr)
		*count = (int32)field->values.size();
	return B_OK;
}


status_t
BMessage::MakeEmpty()
{
	fFields.clear();
	return B_OK;
}


void
BMessage::PrintToStream() const
{
	printf("BMessage: what = ");
	print_code(what);
	printf(" (0x%x, or %u)\n", (unsigned)what, (unsigned)what);
	for (const Field& field : fFields) {
		for (size_t i = 0; i < field.values.size(); i++) {
			printf("    entry %14s, type='", field.name.c_str());
			print_code(field.type);
			printf("', c=%d, ", (int)field.values.size());
			const Value& value = field.values[i];
			switch (field.type) {
				case B_STRING_TYPE:
				{
					const std::string& text = std::get<std::string>(value);
					printf("size=%3d, data[%d]: \"%s\"\n",
						(int)text.size() + 1, (int)i, text.c_str());
					break;
				}
				case B_INT32_TYPE:
				{
					int32 number = std::get<int32>(value);
					printf("size= 4, data[%d]: 0x%x (%d, '", (int)i,
						(unsigned)number, (int)number);
					print_code((uint32)number);
					printf("')\n");
					break;
				}
				case B_BOOL_TYPE:
					printf("size= 1, data[%d]: %s\n", (int)i,
						std::get<bool>(value) ? "TRUE" : "FALSE");
					break;
			}
		}
	}
	fflush(stdout);
}


std::string
BMessage::Flatten() const
{
	std::string out(kMagic, sizeof(kMagic));
	out.push_back((char)kVersion);
	put_uint32(out, what);
	put_uint32(out, (uint32)fFields.size());
	for (const Field& field : fFields) {
		put_uint32(out, field.type);
		put_uint16(out, (uint16)field.name.size());
		out.append(field.name);
		put_uint32(out, (uint32)field.values.size());
		for (const Value& value : field.values) {
			switch (field.type) {
				case B_STRING_TYPE:
				{
					const std::string& text = std::get<std::string>(value);
					put_uint32(out, (uint32)text.size());
					out.append(text);
					break;
				}
				case B_INT32_TYPE:
					put_uint32(out, (uint32)std::get<int32>(value));
					break;
				case B_BOOL_TYPE:
					out.push_back(std::get<bool>(value) ? 1 : 0);
					break;
			}
		}
	}
	return out;
}


ssize_t
BMessage::FlattenedSize() const
{
	return (ssize_t)Flatten().size();
}


status_t
BMessage::Flatten(char* buffer, ssize_t size) const
{
	if (buffer == nullptr)
		return B_BAD_VALUE;
	std::string flat = Flatten();
	if (size < (ssize_t)flat.size())
		return B_BAD_VALUE;
	memcpy(buffer, flat.data(), flat.size());
	return B_OK;
}


status_t
BMessage::Unflatten(const char* buffer, size_t size)
{
	what = 0;
	fFields.clear();
	if (buffer == nullptr || size > kMaxFlattenedSize)
		return B_BAD_DATA;

	BMessage result;
	Reader reader(buffer, size);
	const char* magic;
	uint8 version;
	uint32 fieldCount;
	if (!reader.Bytes(&magic, sizeof(kMagic))
		|| memcmp(magic, kMagic, sizeof(kMagic)) != 0
		|| !reader.Uint8(&version) || version != kVersion
		|| !reader.Uint32(&result.what) || !reader.Uint32(&fieldCount))
		return B_BAD_DATA;

	for (uint32 f = 0; f < fieldCount; f++) {
		uint32 type;
		uint16 nameLength;
		const char* name;
		uint32 valueCount;
		if (!reader.Uint32(&type) || !reader.Uint16(&nameLength)
			|| nameLength == 0 || nameLength > kMaxNameLength
			|| !reader.Bytes(&name, nameLength)
			|| memchr(name, '\0', nameLength) != nullptr
			|| !reader.Uint32(&valueCount) || valueCount == 0
			|| valueCount > reader.Left())
			return B_BAD_DATA;

		std::string fieldName(name, nameLength);
		if (result.FindField(fieldName.c_str(), B_ANY_TYPE) != nullptr)
			return B_BAD_DATA;

		for (uint32 v = 0; v < valueCount; v++) {
			status_t status;
			switch (type) {
				case B_STRING_TYPE:
				{
					uint32 length;
					const char* text;
					if (!reader.Uint32(&length) || !reader.Bytes(&text, length)
						|| memchr(text, '\0', length) != nullptr)
						return B_BAD_DATA;
					status = result.AddValue(fieldName.c_str(), type,
						std::string(text, length));
					break;
				}
				case B_INT32_TYPE:
				{
					uint32 number;
					if (!reader.Uint32(&number))
						return B_BAD_DATA;
					status = result.AddValue(fieldName.c_str(), type,
						(int32)number);
					break;
				}
				case B_BOOL_TYPE:
				{
					uint8 flag;
					if (!reader.Uint8(&flag) || flag > 1)
						return B_BAD_DATA;
					status = result.AddValue(fieldName.c_str(), type,
						flag != 0);
					break;
				}
				default:
					return B_BAD_DATA;
			}
			if (status != B_OK)
				return B_BAD_DATA;
		}
	}
	if (reader.Left() != 0)
		return B_BAD_DATA;

	*this = std::move(result);
	return B_OK;
}
