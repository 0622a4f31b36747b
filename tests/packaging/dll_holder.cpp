// Holds a file in use while a setup program runs, the way Windows programs do:
//   dll_holder.exe load LIBRARY SIGNAL   keeps LIBRARY loaded, as File Explorer keeps a shell
//                                        extension after the first right-click
//   dll_holder.exe lock FILE SIGNAL      keeps FILE open without sharing, so that it can be
//                                        neither written nor renamed nor deleted
// Writes the file SIGNAL once it holds the file, and lets go when SIGNAL is deleted (or ten
// minutes pass). Exits 1 when it cannot take hold of the file.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const bool load = argc == 4 && std::wcscmp(argv[1], L"load") == 0;
  const bool lock = argc == 4 && std::wcscmp(argv[1], L"lock") == 0;
  if (!load && !lock) {
    std::fputs("usage: dll_holder load|lock FILE SIGNAL\n", stderr);
    return 2;
  }
  HMODULE library = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (load)
    library = LoadLibraryW(argv[2]);
  else
    file = CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!library && file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "dll_holder: cannot hold the file (error %lu)\n", GetLastError());
    return 1;
  }
  HANDLE signal = CreateFileW(argv[3], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (signal == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(signal);
  for (int i = 0; i < 6000 && GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  if (library) FreeLibrary(library);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}
