#pragma once
// The small pictures of the note menu and the tray menu: one drawn set, so they
// look alike on every desktop, whatever its icon theme holds.

#include <QIcon>
#include <initializer_list>
#include <utility>

class QAction;

enum class TMenuIcon {
    Add,
    Delete,
    Transparency,
    Font,
    TextColor,
    BackgroundColor,
    Reminder,
    Exit,
    Feedback,
    About
};

[[nodiscard]] QIcon MenuIcon(TMenuIcon which);
void SetMenuIcons(std::initializer_list<std::pair<QAction*, TMenuIcon>> actions);
