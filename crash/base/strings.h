#pragma once
// Text helpers of the crash client: decimal parsers, printf-style
// formatting and conversions between UTF-8, UTF-16 and UTF-32.

#include <stddef.h>
#include <stdint.h>
#include <ostream>
#include <string>
#include <string_view>

namespace base {

using StringPiece = std::string_view;
using string16 = std::u16string;

// An optional "+" or "-" and decimal digits only. Empty text, any other
// character or an overflow gives false; an overflow leaves the type's
// limit in the output. Leading white space is skipped for the value but
// still makes the result false.
bool StringToInt(StringPiece input, int* output);
bool StringToUint(StringPiece input, unsigned int* output);
bool StringToInt64(StringPiece input, int64_t* output);
bool StringToUint64(StringPiece input, uint64_t* output);
bool StringToSizeT(StringPiece input, size_t* output);

// printf into a new text, however long it gets.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Invalid sequences become U+FFFD and make the result false.
bool UTF8ToUTF16(StringPiece utf8, string16* output);
bool UTF16ToUTF8(const string16& utf16, std::string* output);
bool UTF8ToUTF32(StringPiece utf8, std::u32string* output);
bool UTF32ToUTF8(const std::u32string& utf32, std::string* output);
string16 UTF8ToUTF16(StringPiece utf8);
std::string UTF16ToUTF8(const string16& utf16);

// Streams 16-bit text as UTF-8.
std::ostream& operator<<(std::ostream& out, const string16& text);

}  // namespace base
