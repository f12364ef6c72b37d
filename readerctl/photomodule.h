// The photo module's one entry point (see photomodule.cpp).
#pragma once

// Decodes the Base64 image file with the window's bounds and saves it as a
// PNG file at path; false when it does not decode or cannot be written.
extern "C" bool readerctlSavePhoto(const char *base64, const char *path);
using ReaderctlSavePhoto = bool (*)(const char *base64, const char *path);

// Where the module is looked for, beside the program (the build tree) and in
// the package's private folder.
constexpr const char *photoModuleName = "readerctl-photo.so";
constexpr const char *photoModuleInstalled = "../lib/readerdemo/readerctl/readerctl-photo.so";
