#pragma once
// The program's compiled-in fonts.

#include <QString>

namespace appfonts {

// Registers the compiled-in Roboto faces and returns the family name to use
// ("Roboto" when the regular face cannot be read).
QString install();

}  // namespace appfonts
