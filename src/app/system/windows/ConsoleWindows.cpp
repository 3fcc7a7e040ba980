#include <windows.h>
// shellapi.h takes its types from windows.h.
#include <shellapi.h>

#include <cstdio>

#include "Console.h"
#include "WideText.h"

namespace {

// A stream the starter redirected (a file, a pipe) is kept as it is.
bool Redirected(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseParentConsole() {
  const bool outRedirected = Redirected(STD_OUTPUT_HANDLE);
  const bool errRedirected = Redirected(STD_ERROR_HANDLE);
  if (outRedirected && errRedirected) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;  // started from Explorer: no console
  if (!outRedirected) std::freopen("CONOUT$", "w", stdout);
  if (!errRedirected) std::freopen("CONOUT$", "w", stderr);
  // The program's texts are UTF-8; a Chinese console would read them as GBK.
  SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> Utf8Arguments(int, char*[]) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(base::WideToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}
