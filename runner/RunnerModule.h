// Module initialisation and finalisation of ZqRunner: what runs before the main body and
// after it, in every run (maintenance runs included). Main thread.
#pragma once

// Installs the Win32 seams, binds WinInet and Icmp.dll, reads the text table from
// "resource.properties" beside the executable, and sets InstallDir.
void InitializeRunnerModule();
// Releases what initialisation took: the text table and the WinInet binding.
void FinalizeRunnerModule();
