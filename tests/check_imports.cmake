# Fails unless every DLL the executable imports is a Windows system DLL, so a user's machine
# can never miss a compiler runtime; and unless Windows 7 SP1 can load it: no import that
# system lacks, and OS and subsystem versions in the PE header no higher than 6.1; and it must
# carry the terminal-server-aware flag.
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${EXE}")
endif()
set(allowed kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comctl32.dll msvcrt.dll
    ntdll.dll ole32.dll oleaut32.dll oleacc.dll shlwapi.dll)
foreach(line ${lines})
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(dll MATCHES "^api-ms-win-")
    continue()
  endif()
  list(FIND allowed "${dll}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${EXE} imports ${dll}, which is not a Windows system DLL")
  endif()
  message(STATUS "import: ${dll}")
endforeach()

# Calls of the system DLLs above that Windows 7 SP1 does not have (Microsoft's documentation
# gives Windows 8 or later as their minimum; the DLL-directory calls come to Windows 7 only
# with a later update). Any of them imported keeps the program from loading there; look them
# up with GetProcAddress instead.
set(newer_than_windows7
    SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory
    GetDpiForWindow GetDpiForSystem SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext
    GetSystemMetricsForDpi AdjustWindowRectExForDpi SystemParametersInfoForDpi
    EnableNonClientDpiScaling SetProcessDpiAwareness GetDpiForMonitor
    GetSystemTimePreciseAsFileTime CreateFile2 CopyFile2 GetPointerType GetPointerInfo
    SetThreadDescription GetCurrentThreadStackLimits WaitOnAddress WakeByAddressSingle)
string(REGEX MATCH "The Import Tables.*" imports "${dump}")
foreach(name ${newer_than_windows7})
  if(imports MATCHES "[ \t]${name}[\r\n]")
    message(FATAL_ERROR "${EXE} imports ${name}, which Windows 7 SP1 lacks")
  endif()
endforeach()

if(NOT dump MATCHES "TERMINAL_SERVICE_AWARE")
  message(FATAL_ERROR "${EXE} lacks the terminal-server-aware flag")
endif()

foreach(field OSystem Subsystem)
  if(NOT dump MATCHES "Major${field}Version[ \t]+([0-9]+)[\r\n]+Minor${field}Version[ \t]+([0-9]+)")
    message(FATAL_ERROR "no ${field} version in the PE header of ${EXE}")
  endif()
  math(EXPR version "${CMAKE_MATCH_1} * 100 + ${CMAKE_MATCH_2}")
  if(version GREATER 601)
    message(FATAL_ERROR "${EXE} asks for ${field} version ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}, above Windows 7's 6.1")
  endif()
  message(STATUS "${field} version: ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
endforeach()
