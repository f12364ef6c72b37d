#pragma once

#include <initializer_list>

// Before QApplication: the form has fixed positions and sizes, so it follows
// the desktop's scale factor (Qt 6 does by default, Qt 5 is told to) rather
// than show at half size on a 200 % screen.
void followDesktopScale();

// Tells the operator that libCommonInterface.so could not be opened. Modal;
// returns when the box is dismissed.
void showLibraryLoadError();

class QIcon;

// The program's icon from its image files, ":/icons/SIZE.png" for each of
// sizes. Nothing is decoded here: each file is read the first time a pixmap
// near its size is asked for, so that start-up does not pay for sizes the
// platform never shows.
QIcon programIcon(std::initializer_list<int> sizes);
