// Only System32 supplies the DLLs this program loads itself.
#pragma once

#include "platform/platform.h"

// The process then looks for DLLs in System32 alone: a DLL put beside the
// program (in a folder others may write) is never loaded. First thing in
// every entry point, before anything could load a DLL.
void LoadDllsFromSystem32Only();

// A procedure of a DLL that is not loaded at start, from System32 only;
// nullptr when the DLL or the procedure is not there.
FARPROC SystemProcedure(const wchar_t* dll, const char* name);

// The same, as the procedure's own type (through the one function type
// that every other converts to without complaint).
template <typename Procedure>
Procedure SystemProcedureAs(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Procedure>(reinterpret_cast<void (*)()>(SystemProcedure(dll, name)));
}
