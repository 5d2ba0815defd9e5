// Ids of the program's resources, shared by the .rc files and the code that loads them.
#pragma once

#define IDR_FONT_REGULAR 101
#define IDR_FONT_LIGHT 102
#define IDR_FONT_SEMIBOLD 103

#define IDI_ICONOAPL ICONOAPL
