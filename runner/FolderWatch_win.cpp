// The installation folder's change notification (FolderWatch.h, WinPlatform.h).
#include "WinPlatform.h"

std::unique_ptr<TWinFolderWatch> TWinFolderWatch::Open(const std::string& folder) {
  // Last-write times and names: a file rewritten, touched (SetFileTime) or replaced by a
  // rename. Not the subfolders. A network drive or a folder that refuses it gives none.
  HANDLE h = ::FindFirstChangeNotificationA(
      folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<TWinFolderWatch>(new TWinFolderWatch(h));
}

bool TWinFolderWatch::Changed() {
  if (::WaitForSingleObject(handle_.get(), 0) != WAIT_OBJECT_0) return false;
  // Armed again before the caller looks at the files: a change made while it reads them
  // is reported next time.
  ::FindNextChangeNotification(handle_.get());
  return true;
}
