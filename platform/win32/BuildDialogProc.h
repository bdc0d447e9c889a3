// MakeDlgProc: the build dialog's procedure, exported by the image.
#pragma once

#include <windows.h>

extern "C" __declspec(dllexport) INT_PTR CALLBACK MakeDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
