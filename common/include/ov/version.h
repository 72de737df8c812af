#pragma once
// The release version of both programs. The one place it is written: CMake reads it from here
// for the project version, the Windows version resources and the package names.
#define OV_VERSION_TEXT "0.9.0"
