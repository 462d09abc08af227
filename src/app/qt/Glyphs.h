#pragma once
// The glyphs of the window's buttons, drawn at run time.
#include <QIcon>

QIcon OpenGlyph();
QIcon SaveGlyph();
QIcon AddGlyph();
QIcon DeleteGlyph();
QIcon ModeGlyph();    // the mode switch: a cross-hair over a head outline
QIcon ReportGlyph();  // shows the Transforms window
