#pragma once
// A 16-byte identifier with its 36-character lower-case text form. The
// first three fields are held in host order.

#include <stdint.h>
#include <string>

#include "crash/base/strings.h"

namespace crashwatch {

struct UUID {
    UUID();  // all zero

    // From 16 bytes in network (big-endian) order.
    void InitializeFromBytes(const uint8_t bytes[16]);
    // A new random identifier from the platform.
    void Generate();
    // Exactly 36 characters "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" of
    // hexadecimal digits of either case; false leaves the value unchanged.
    bool ParseText(base::StringPiece text);
    bool ParseText(const base::string16& text);
    std::string FormatText() const;

    bool operator==(const UUID& other) const;
    bool operator!=(const UUID& other) const { return !(*this == other); }

    uint32_t data_1;
    uint16_t data_2;
    uint16_t data_3;
    uint8_t data_4[2];
    uint8_t data_5[6];
};

static_assert(sizeof(UUID) == 16, "a UUID is held in exactly 16 bytes");

}  // namespace crashwatch
