// The update entry point start-up calls for "-update" and a directory.
#include "ArchiveIo_win.h"
#include "MaintenanceHost_win.h"
#include "Update.h"

void RunUpdate(const std::string& dir) {
  TWinMaintenanceHost host;
  TWinArchiveIo io;
  ApplyUpdate(dir, host, io);
}
