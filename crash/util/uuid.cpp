#include "crash/util/uuid.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <uuid/uuid.h>

namespace crashwatch {

UUID::UUID()
    : data_1(0)
    , data_2(0)
    , data_3(0)
    , data_4{}
    , data_5{}
{
}

void UUID::InitializeFromBytes(const uint8_t bytes[16])
{
    memcpy(this, bytes, sizeof(*this));
    data_1 = ntohl(data_1);
    data_2 = ntohs(data_2);
    data_3 = ntohs(data_3);
}

void UUID::Generate()
{
    uuid_t bytes;
    uuid_generate(bytes);
    InitializeFromBytes(bytes);
}

bool UUID::ParseText(base::StringPiece text)
{
    if (text.size() != 36)
        return false;
    // sscanf needs a terminated text and must not be fooled by a sign or
    // white space, which %x would accept.
    char buffer[37];
    for (size_t i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (dash ? c != '-' : !isxdigit(static_cast<unsigned char>(c)))
            return false;
        buffer[i] = c;
    }
    buffer[36] = '\0';
    UUID parsed;
    const int fields = sscanf(buffer, "%08x-%04hx-%04hx-%02hhx%02hhx-%02hhx%02hhx%02hhx%02hhx%02hhx%02hhx",
                              &parsed.data_1, &parsed.data_2, &parsed.data_3, &parsed.data_4[0],
                              &parsed.data_4[1], &parsed.data_5[0], &parsed.data_5[1], &parsed.data_5[2],
                              &parsed.data_5[3], &parsed.data_5[4], &parsed.data_5[5]);
    if (fields != 11)
        return false;
    *this = parsed;
    return true;
}

bool UUID::ParseText(const base::string16& text)
{
    return ParseText(base::UTF16ToUTF8(text));
}

std::string UUID::FormatText() const
{
    return base::StringPrintf("%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", data_1, data_2, data_3,
                              data_4[0], data_4[1], data_5[0], data_5[1], data_5[2], data_5[3], data_5[4],
                              data_5[5]);
}

bool UUID::operator==(const UUID& other) const
{
    return memcmp(this, &other, sizeof(*this)) == 0;
}

}  // namespace crashwatch
