#pragma once

// Before QApplication: the form has fixed positions and sizes, so it follows
// the desktop's scale factor (Qt 6 does by default, Qt 5 is told to) rather
// than show at half size on a 200 % screen.
void followDesktopScale();

// Tells the operator that libCommonInterface.so could not be opened. Modal;
// returns when the box is dismissed.
void showLibraryLoadError();
