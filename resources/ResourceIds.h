// Ids of the program's resources, shared by the .rc files and the code that loads them.
#pragma once

#define IDR_FONT_REGULAR 101
#define IDR_FONT_LIGHT 102
#define IDR_FONT_SEMIBOLD 103

// The icon goes by name (the window asks for "IconoAPL"; resource names ignore case).
#define IDI_ICONOAPL ICONOAPL
// A resource name as the code's wide text: VQX_RESOURCE_NAME(IDI_ICONOAPL) is L"ICONOAPL".
#define VQX_RESOURCE_TEXT(name) L## #name
#define VQX_RESOURCE_NAME(name) VQX_RESOURCE_TEXT(name)
