/* shell.h - the application shell: program-wide accessors, centring, main window. */
#ifndef VANTRI_CHECK_SHELL_H
#define VANTRI_CHECK_SHELL_H

#include <windows.h>

HINSTANCE GetAppInstance(void);
void      SetAppInstance(HINSTANCE hInstance);
HWND      GetMainWindow(void);
void      SetMainWindow(HWND hwnd);
LPCSTR    GetAppClassName(void);      /* "vantri" */
LPCSTR    GetDialogClassName(void);   /* "#32770" */
LPSTR     GetHelpFilePath(void);      /* the program's path with the extension of string 3 */
void      CenterWindow(HWND hwndCenter, HWND hwndMove);

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
BOOL InitInstance(HINSTANCE hInstance, int nCmdShow);
BOOL RegisterMainClass(HINSTANCE hInstance);
BOOL CreateMainWindow(HINSTANCE hInstance, int nCmdShow);
WPARAM RunMessageLoop(void);
BOOL IsDialogChild(HWND hwnd);

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
