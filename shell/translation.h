#pragma once

#include <QLocale>
#include <QString>

class QTranslator;

// Loads the game's texts for the locale's language: "quadrell_<xx>" from
// `directory` (the working directory) when a player put one there, else the
// copy built into the program. False when there is neither: English stays.
bool loadTranslation(QTranslator& translator, const QLocale& locale, const QString& directory);
