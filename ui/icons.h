#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, 32 by 32 and 16 by 16: a small LCD panel showing a
// reading, with a signal arc for the network.
QIcon ProgramIcon();

// The program's icon drawn at `size` by `size` pixels (the installed theme
// icons are rendered from it at build time).
QPixmap ProgramIconPixmap(int size);

// The About box's picture, 32 by 32: a thermometer before a panel.
QPixmap AboutPicture();
