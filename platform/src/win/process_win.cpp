#include <windows.h>

#include <cstdlib>

#include "platform/process.h"

namespace carvex::platform {

namespace {

LONG WINAPI ExitWithCode(EXCEPTION_POINTERS* info) {
  ::ExitProcess(info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 3);
}

}  // namespace

void ExitOnCrash() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(ExitWithCode);
}

}  // namespace carvex::platform
