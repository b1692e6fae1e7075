#pragma once

// The few Win32 names the public headers use, declared exactly as <windows.h> declares them
// (with STRICT, mingw-w64's default), so that a header can name a handle without pulling in
// the whole system header. Code that uses the handles includes <windows.h> itself; the two
// declarations agree, so the order does not matter.

typedef void* HANDLE;
typedef void* HGDIOBJ;
typedef unsigned long DWORD;

struct HWND__;
typedef HWND__* HWND;
struct HDC__;
typedef HDC__* HDC;
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;
struct HRGN__;
typedef HRGN__* HRGN;
struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;

struct tagRECT;
typedef tagRECT RECT;
struct tagPOINT;
typedef tagPOINT POINT;
struct tagSIZE;
typedef tagSIZE SIZE;
