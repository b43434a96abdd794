#pragma once
#include <QString>

#include <initializer_list>
#include <string_view>

class QObject;

// An English text of the interface in the current language.
QString Tr(std::string_view english);
// Translates the format first, then puts the arguments in place of its %s, %d and %u.
QString TrFormat(std::string_view format, std::initializer_list<std::string_view> arguments);

// Replaces the texts of a component and of everything it owns, depth first in ownership order, by their
// translations: actions and menus (caption and hint), list headers, drop-down items, tab and group
// captions, labels, buttons and window captions. Edit boxes and list rows hold data and stay as they are.
void TranslateComponent(QObject* component);

// Right to left for the languages written that way, else left to right; call after each language change.
void ApplyLanguageDirection();

// From now on every window is translated whenever it becomes the program's active window. The hook
// lives as long as its owner.
void TranslateWindowsOnActivation(QObject* owner);
