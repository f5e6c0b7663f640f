#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

class QTranslator;

// Loads the game's texts for the locale's language: "quadrell_<xx>" from the
// first of `directories` that holds one (the working directory, then the
// installed data folders), else the copy built into the program. False when
// there is none: English stays.
bool loadTranslation(QTranslator& translator, const QLocale& locale,
                     const QStringList& directories);
