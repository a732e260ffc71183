#pragma once
// Names for assistive technology. Qt names a button by its caption and a field
// by the label that is its buddy; a list, a table, a text area or an icon-only
// button with neither would be read out as nothing at all.

class QWidget;

// Gives every control of window that the keyboard reaches and that has no name
// yet one from its surroundings: its tooltip, else the title of the group it
// sits in, else the window's title. Called again after each change of language.
void NameUnnamedControls(QWidget* window);
