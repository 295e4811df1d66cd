#include "crash/base/strings.h"

#include <ctype.h>
#include <limits>
#include <stdarg.h>
#include <stdio.h>

namespace base {

namespace {

template <typename T>
bool StringToNumber(StringPiece input, T* output)
{
    size_t i = 0;
    bool valid = true;
    while (i < input.size() && isspace(static_cast<unsigned char>(input[i]))) {
        valid = false;
        ++i;
    }
    bool negative = false;
    if (i < input.size() && (input[i] == '+' || input[i] == '-')) {
        negative = input[i] == '-';
        ++i;
    }
    if (negative && !std::numeric_limits<T>::is_signed) {
        *output = 0;
        return false;
    }
    if (i == input.size()) {
        *output = 0;
        return false;
    }
    T value = 0;
    for (; i < input.size(); ++i) {
        const char c = input[i];
        if (c < '0' || c > '9') {
            valid = false;
            break;
        }
        const T digit = static_cast<T>(c - '0');
        if (negative) {
            if (value < (std::numeric_limits<T>::min() + digit) / 10) {
                *output = std::numeric_limits<T>::min();
                return false;
            }
            value = static_cast<T>(value * 10 - digit);
        } else {
            if (value > (std::numeric_limits<T>::max() - digit) / 10) {
                *output = std::numeric_limits<T>::max();
                return false;
            }
            value = static_cast<T>(value * 10 + digit);
        }
    }
    *output = value;
    return valid;
}

const char32_t kReplacement = 0xFFFD;

bool IsValidCodePoint(char32_t c)
{
    return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF);
}

// Reads one code point; returns false (and U+FFFD) on a bad sequence.
bool DecodeUTF8(StringPiece s, size_t* i, char32_t* c)
{
    const unsigned char lead = static_cast<unsigned char>(s[(*i)++]);
    int more;
    char32_t value;
    if (lead < 0x80) {
        *c = lead;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        more = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3;
        value = lead & 0x07;
    } else {
        *c = kReplacement;
        return false;
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    for (int k = 0; k < more; ++k) {
        if (*i >= s.size() || (static_cast<unsigned char>(s[*i]) & 0xC0) != 0x80) {
            *c = kReplacement;
            return false;
        }
        value = (value << 6) | (static_cast<unsigned char>(s[(*i)++]) & 0x3F);
    }
    if (value < minimum[more] || !IsValidCodePoint(value)) {
        *c = kReplacement;
        return false;
    }
    *c = value;
    return true;
}

void EncodeUTF8(char32_t c, std::string* out)
{
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void EncodeUTF16(char32_t c, string16* out)
{
    if (c < 0x10000) {
        out->push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

}  // namespace

bool StringToInt(StringPiece input, int* output) { return StringToNumber(input, output); }
bool StringToUint(StringPiece input, unsigned int* output) { return StringToNumber(input, output); }
bool StringToInt64(StringPiece input, int64_t* output) { return StringToNumber(input, output); }
bool StringToUint64(StringPiece input, uint64_t* output) { return StringToNumber(input, output); }
bool StringToSizeT(StringPiece input, size_t* output) { return StringToNumber(input, output); }

std::string StringPrintf(const char* format, ...)
{
    std::string result(128, '\0');
    for (;;) {
        va_list args;
        va_start(args, format);
        const int needed = vsnprintf(&result[0], result.size(), format, args);
        va_end(args);
        if (needed < 0)
            return std::string();
        if (static_cast<size_t>(needed) < result.size()) {
            result.resize(static_cast<size_t>(needed));
            return result;
        }
        result.resize(static_cast<size_t>(needed) + 1);
    }
}

bool UTF8ToUTF16(StringPiece utf8, string16* output)
{
    output->clear();
    bool valid = true;
    for (size_t i = 0; i < utf8.size();) {
        char32_t c;
        valid &= DecodeUTF8(utf8, &i, &c);
        EncodeUTF16(c, output);
    }
    return valid;
}

bool UTF16ToUTF8(const string16& utf16, std::string* output)
{
    output->clear();
    bool valid = true;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
            valid = false;
        }
        EncodeUTF8(c, output);
    }
    return valid;
}

bool UTF8ToUTF32(StringPiece utf8, std::u32string* output)
{
    output->clear();
    bool valid = true;
    for (size_t i = 0; i < utf8.size();) {
        char32_t c;
        valid &= DecodeUTF8(utf8, &i, &c);
        output->push_back(c);
    }
    return valid;
}

bool UTF32ToUTF8(const std::u32string& utf32, std::string* output)
{
    output->clear();
    bool valid = true;
    for (char32_t c : utf32) {
        if (!IsValidCodePoint(c)) {
            c = kReplacement;
            valid = false;
        }
        EncodeUTF8(c, output);
    }
    return valid;
}

string16 UTF8ToUTF16(StringPiece utf8)
{
    string16 result;
    UTF8ToUTF16(utf8, &result);
    return result;
}

std::string UTF16ToUTF8(const string16& utf16)
{
    std::string result;
    UTF16ToUTF8(utf16, &result);
    return result;
}

std::ostream& operator<<(std::ostream& out, const string16& text)
{
    return out << UTF16ToUTF8(text);
}

}  // namespace base
