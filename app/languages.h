#pragma once
// The interface languages: English plus one language per program catalogue
// in the resource tree, and the switch of the process's language.
// LumoraApplication's language operations and the main window's language box
// are built on these functions.

#include <QLocale>
#include <QString>
#include <QVector>

class QObject;
class QTranslator;

namespace languages {

// Fills the language list and the catalogue list once; later calls keep
// them as they are.
void initialize();

// The lists, index by index: entry 0 is English without a catalogue.
const QVector<QLocale>& list();
const QVector<QString>& files();

// The language number to start with, from the settings store (seeded once
// from the installer's choice or, where there is none, the desktop's
// language).
int startIndex();

// Makes the language at index the process's language, replacing the two
// translators, which are children of owner. An index outside the list is
// ignored.
void apply(int index, QObject* owner, QTranslator*& appTranslator, QTranslator*& qtTranslator);

// The process's language switch. The application object makes itself the
// owner of the process's two translators when it starts; switchTo then
// applies the language at index with them. While no owner lives, switchTo
// does nothing, so a window shown without the application object keeps its
// language.
void setOwner(QObject* owner);
void switchTo(int index);

}  // namespace languages
