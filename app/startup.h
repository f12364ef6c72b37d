#pragma once

// Tells the operator that libCommonInterface.so could not be opened. Modal;
// returns when the box is dismissed.
void showLibraryLoadError();
