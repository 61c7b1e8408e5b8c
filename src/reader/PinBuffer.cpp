#include "PinBuffer.h"

#include <sodium.h>


PinBuffer::PinBuffer()
{
	if (sodium_init() < 0)
		return;
	fData = static_cast<char*>(sodium_malloc(kCapacity));
	if (fData != nullptr)
		sodium_memzero(fData, kCapacity);
}


PinBuffer::~PinBuffer()
{
	// sodium_free() overwrites the memory before it lets it go.
	if (fData != nullptr)
		sodium_free(fData);
}


void
PinBuffer::Add(char character)
{
	if (character < '0' || character > '9' || fData == nullptr
		|| fLength >= kCapacity) {
		fSpoiled = true;
		return;
	}
	fData[fLength++] = character;
}


void
PinBuffer::Clear()
{
	if (fData != nullptr)
		sodium_memzero(fData, kCapacity);
	fLength = 0;
	fSpoiled = false;
	fTypedFast = false;
}


bool
PinBuffer::IsUsable() const
{
	return fData != nullptr && !fSpoiled && fLength > 0;
}
