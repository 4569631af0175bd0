#pragma once
// What assistive technology reads of the main window, and the keys that reach
// every unit a writer needs: names and roles for the units, the captions
// linked to the boxes they name, the focus order, the keys that open the menu
// and close the panel.

#include "ui/window.h"

class QLabel;
class QString;
class QWidget;

namespace talery {

class QtWindow;

// Before the window is built: glyphs that act as buttons are read as buttons.
void installAccessibleRoles();
// After it is built: names, caption links, focus order and keys.
void setUpAccessibility(QtWindow& window);
// The focus order and the keys (qt_keyboard.cpp); part of setUpAccessibility.
void setUpKeyboard(QtWindow& window);
// Rings whichever unit of `window` has the keyboard focus, visibly in every theme.
void ringFocus(QWidget* window);
// Has screen readers speak `note` without interrupting: a notification that
// appears on the window.
void announce(QWidget* window, const QString& note);
// A caption's new text names the box it belongs to (the diary's title caption).
void captionChanged(QLabel* caption);
// The name a picture unit has with this picture (the record button says
// whether it records); empty where the picture does not name the unit.
QString accessibleNameFor(Unit unit, Picture picture);

}  // namespace talery
